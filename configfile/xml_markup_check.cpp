#include "configfile/xml_markup_check.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

namespace vz {
namespace {

// The file as a sequence of code units of one width, so that "<" is found in UTF-16 and UTF-32
// files too. Code units of characters outside ASCII never equal an ASCII character in these forms.
class CodeUnits {
  public:
    explicit CodeUnits(std::string_view bytes) : bytes_(bytes) {
        auto starts = [&](std::initializer_list<int> prefix) {
            if (bytes.size() < prefix.size()) return false;
            std::size_t i = 0;
            for (int b : prefix)
                if (static_cast<unsigned char>(bytes[i++]) != b) return false;
            return true;
        };
        if (starts({0x00, 0x00, 0xFE, 0xFF}))
            set(4, true, 4);
        else if (starts({0xFF, 0xFE, 0x00, 0x00}))
            set(4, false, 4);
        else if (starts({0x00, 0x00, 0x00, 0x3C}))
            set(4, true, 0);
        else if (starts({0x3C, 0x00, 0x00, 0x00}))
            set(4, false, 0);
        else if (starts({0xFE, 0xFF}))
            set(2, true, 2);
        else if (starts({0xFF, 0xFE}))
            set(2, false, 2);
        else if (starts({0x00, 0x3C}))
            set(2, true, 0);
        else if (starts({0x3C, 0x00}))
            set(2, false, 0);
        else if (starts({0xEF, 0xBB, 0xBF}))
            set(1, false, 3);
    }

    std::size_t size() const { return (bytes_.size() - start_) / width_; }

    uint32_t at(std::size_t i) const {
        const std::size_t at = start_ + i * width_;
        uint32_t unit = 0;
        for (int k = 0; k < width_; ++k) {
            const uint32_t byte = static_cast<unsigned char>(bytes_[at + static_cast<std::size_t>(k)]);
            unit |= bigEndian_ ? byte << (8 * (width_ - 1 - k)) : byte << (8 * k);
        }
        return unit;
    }

    bool matches(std::size_t i, std::string_view ascii) const {
        if (i + ascii.size() > size()) return false;
        for (std::size_t k = 0; k < ascii.size(); ++k)
            if (at(i + k) != static_cast<unsigned char>(ascii[k])) return false;
        return true;
    }

  private:
    void set(int width, bool bigEndian, std::size_t start) {
        width_ = width;
        bigEndian_ = bigEndian;
        start_ = start;
    }

    std::string_view bytes_;
    int width_ = 1;
    bool bigEndian_ = false;
    std::size_t start_ = 0;
};

bool isSpace(uint32_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Encodings in which the ASCII characters of the markup are the units seen here. Others (EBCDIC
// and the like) would let the parser see markup this check cannot.
bool readableEncoding(std::string name) {
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (std::string_view exact : {"UTF-8", "UTF8", "US-ASCII", "ASCII", "LATIN1"})
        if (name == exact) return true;
    for (std::string_view prefix : {"ISO-8859-", "ISO8859-", "WINDOWS-125", "CP125", "UTF-16", "UTF-32"})
        if (name.rfind(prefix, 0) == 0) return true;
    return false;
}

class MarkupScan {
  public:
    explicit MarkupScan(std::string_view bytes) : units_(bytes), n_(units_.size()) {}

    std::optional<MarkupRefusal> run() {
        while (i_ < n_ && isSpace(units_.at(i_))) step();
        if (i_ >= n_) return std::nullopt;  // empty: the parser says so
        if (units_.at(i_) != '<')
            return MarkupRefusal{line_,
                                 "no XML markup at its start (not XML, or an encoding that is not read)"};
        if (units_.matches(i_, "<?xml") && i_ + 5 < n_ && isSpace(units_.at(i_ + 5))) {
            if (auto refusal = declaredEncoding()) return refusal;
        }
        while (true) {
            while (i_ < n_ && units_.at(i_) != '<') step();
            if (i_ >= n_) return std::nullopt;
            if (units_.matches(i_, "<!--")) {
                skipPast("-->");
            } else if (units_.matches(i_, "<![CDATA[")) {
                skipPast("]]>");
            } else if (units_.matches(i_, "<!")) {
                return MarkupRefusal{
                    line_,
                    "a document type declaration (\"<!\"); a configuration file takes no DTD "
                    "and no entities"};
            } else if (units_.matches(i_, "<?")) {
                skipPast("?>");
            } else if (units_.matches(i_, "</")) {
                --depth_;
                skipPast(">");
            } else if (auto refusal = startTag()) {
                return refusal;
            }
        }
    }

  private:
    void step() {
        if (units_.at(i_) == '\n') ++line_;
        ++i_;
    }
    void skipPast(std::string_view end) {
        while (i_ < n_ && !units_.matches(i_, end)) step();
        i_ = std::min(n_, i_ + end.size());
    }

    std::optional<MarkupRefusal> declaredEncoding() {
        const std::size_t start = i_;
        std::size_t end = start;
        while (end < n_ && !units_.matches(end, "?>")) ++end;
        std::string declaration;
        for (std::size_t k = start; k < end && units_.at(k) < 0x80; ++k)
            declaration.push_back(static_cast<char>(units_.at(k)));
        const std::size_t key = declaration.find("encoding");
        if (key == std::string::npos) return std::nullopt;
        const std::size_t open = declaration.find_first_of("\"'", key);
        if (open == std::string::npos) return std::nullopt;
        const std::size_t close = declaration.find(declaration[open], open + 1);
        if (close == std::string::npos) return std::nullopt;
        const std::string name = declaration.substr(open + 1, close - open - 1);
        if (readableEncoding(name)) return std::nullopt;
        return MarkupRefusal{line_, "the encoding \"" + name +
                                        "\" (configuration files are read in UTF-8, UTF-16, UTF-32, "
                                        "ISO-8859 or windows-125x)"};
    }

    std::optional<MarkupRefusal> startTag() {
        const int tagLine = line_;
        if (++elements_ > kMaxElements)
            return MarkupRefusal{tagLine, "more than " + std::to_string(kMaxElements) + " elements"};
        int attributes = 0;
        uint32_t quote = 0;
        uint32_t previous = 0;
        step();
        while (i_ < n_) {
            const uint32_t c = units_.at(i_);
            step();
            if (quote) {
                if (c == quote) quote = 0;
                continue;
            }
            if (c == '"' || c == '\'') {
                quote = c;
                if (++attributes > kMaxAttributesPerElement)
                    return MarkupRefusal{tagLine, "an element with more than " +
                                                      std::to_string(kMaxAttributesPerElement) +
                                                      " attributes"};
            } else if (c == '>') {
                if (previous != '/' && ++depth_ > kMaxElementDepth)
                    return MarkupRefusal{tagLine, "elements nested more than " +
                                                      std::to_string(kMaxElementDepth) + " levels deep"};
                return std::nullopt;
            }
            previous = c;
        }
        return std::nullopt;
    }

    CodeUnits units_;
    std::size_t n_;
    std::size_t i_ = 0;
    int line_ = 1;
    int depth_ = 0;
    int elements_ = 0;
};

}  // namespace

std::optional<MarkupRefusal> checkConfigurationMarkup(std::string_view bytes) {
    if (bytes.size() > kMaxConfigFileBytes)
        return MarkupRefusal{1, "larger than " + std::to_string(kMaxConfigFileBytes) + " bytes"};
    return MarkupScan(bytes).run();
}

}  // namespace vz
