#include "tests/usb_mock/emulated_cp210x_bus.h"

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <umockdev.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <deque>
#include <mutex>
#include <stdexcept>

#include "sim/virtual_crate.h"

namespace vz::test {

namespace {

// The bridge as the bus shows it: one interface with a bulk endpoint each way.
constexpr uint8_t kEndpointOut = 0x01;
constexpr uint8_t kEndpointIn = 0x81;

// The CP210x vendor requests (Silicon Labs AN571), written down here from the data sheet rather
// than taken from the driver, so a wrong code in the driver shows up as a refused request.
constexpr uint8_t kVendorOut = 0x41;
constexpr uint8_t kVendorIn = 0xC1;
constexpr uint8_t kIfcEnable = 0x00;
constexpr uint8_t kSetLineCtl = 0x03;
constexpr uint8_t kSetMhs = 0x07;
constexpr uint8_t kGetMdmSts = 0x08;
constexpr uint8_t kGetCommStatus = 0x10;
constexpr uint8_t kPurge = 0x12;
constexpr uint8_t kSetFlow = 0x13;
constexpr uint8_t kSetBaudRate = 0x1E;
constexpr uint16_t kPurgeReceiveBits = 0x000A;
constexpr std::size_t kFlowSize = 16;
constexpr std::size_t kCommStatusSize = 19;

// Standard request the host sends itself: GET_DESCRIPTOR of a string.
constexpr uint8_t kStandardIn = 0x80;
constexpr uint8_t kGetDescriptor = 0x06;
constexpr uint8_t kStringDescriptor = 0x03;

constexpr int kSetupSize = 8;

// A URB the host submitted, held until it completes and is reaped. Both pieces are the host's
// memory as umockdev mirrors it; what is written into them goes back to the host on completion.
struct PendingUrb {
    UMockdevIoctlData* urb = nullptr;
    UMockdevIoctlData* buffer = nullptr;

    PendingUrb() = default;
    PendingUrb(const PendingUrb&) = delete;
    PendingUrb& operator=(const PendingUrb&) = delete;
    ~PendingUrb() {
        if (buffer != nullptr) g_object_unref(buffer);
        if (urb != nullptr) g_object_unref(urb);
    }
    usbdevfs_urb& header() const { return *reinterpret_cast<usbdevfs_urb*>(urb->data); }
    uint8_t* data() const { return buffer != nullptr ? buffer->data : nullptr; }
    std::size_t length() const { return static_cast<std::size_t>(std::max(header().buffer_length, 0)); }
};
using UrbPtr = std::unique_ptr<PendingUrb>;

uint16_t le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void putLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

struct EmulatedCp210xBus::Impl {
    struct Device {
        Impl* bus = nullptr;
        std::string serial;
        std::string product;
        uint16_t vendorId = 0;
        uint16_t productId = 0;
        int devnum = 0;
        std::string node;     // /dev/bus/usb/001/NNN
        std::string syspath;  // /sys/devices/...
        UMockdevIoctlBase* handler = nullptr;
        bool present = true;
        bool claimed = false;
        int slot = -1;  // the crate's slot while the interface is claimed
        bool uartEnabled = false;
        bool outBlocked = false;
        bool rts = false;
        bool dtr = false;
        std::deque<UrbPtr> reap;  // completed, waiting for the host to reap them
        std::deque<UrbPtr> in;    // bulk IN waiting for the controller's bytes
        std::deque<UrbPtr> out;   // bulk OUT held while the transmit side is blocked
    };

    explicit Impl(vsim::VirtualCrate& c) : crate(c) {}

    vsim::VirtualCrate& crate;
    UMockdevTestbed* testbed = nullptr;
    mutable std::mutex mutex;
    std::vector<std::unique_ptr<Device>> devices;
    std::vector<ControlRequest> log;
    int unknown = 0;

    Device* find(const std::string& serial) const {
        for (const auto& d : devices)
            if (d->serial == serial) return d.get();
        return nullptr;
    }

    // The crate opens bridges by their position among the plugged ones.
    int crateIndex(const std::string& serial) const {
        for (int i = 0; i < crate.bridgeCount(); ++i)
            if (crate.bridgeInfo(i).serial == serial) return i;
        return -1;
    }

    static void finish(Device& d, UrbPtr u, int status, std::size_t actual) {
        u->header().status = status;
        u->header().actual_length = static_cast<int>(actual);
        d.reap.push_back(std::move(u));
    }

    // Completes waiting bulk IN transfers with what the controller has sent by now.
    void pumpBulkIn(Device& d) {
        while (!d.in.empty() && d.claimed && d.uartEnabled) {
            const std::size_t ready = crate.rxQueue(d.slot);
            if (ready == 0) return;
            UrbPtr u = std::move(d.in.front());
            d.in.pop_front();
            bool ok = false;
            const std::size_t n = crate.read(d.slot, u->data(), std::min(ready, u->length()), 0, ok);
            finish(d, std::move(u), 0, n);
        }
    }

    int stringDescriptor(const Device& d, unsigned index, uint8_t* out, std::size_t length) {
        uint8_t desc[256] = {};
        std::size_t n = 2;
        if (index == 0) {
            desc[n++] = 0x09;  // English (United States)
            desc[n++] = 0x04;
        } else {
            static const std::string manufacturer = "Silicon Labs";
            const std::string* text = index == 1   ? &manufacturer
                                      : index == 2 ? &d.product
                                      : index == 3 ? &d.serial
                                                   : nullptr;
            if (text == nullptr) return -EPIPE;
            for (char c : *text) {
                if (n + 2 > 254) break;
                desc[n++] = static_cast<uint8_t>(c);
                desc[n++] = 0;
            }
        }
        desc[0] = static_cast<uint8_t>(n);
        desc[1] = kStringDescriptor;
        n = std::min(n, length);
        std::copy_n(desc, n, out);
        return static_cast<int>(n);
    }

    // Host-to-device vendor request; returns the bytes taken or a negative status (stall).
    int vendorOut(Device& d, uint8_t request, uint16_t value, const uint8_t* data, std::size_t length) {
        if (request == kIfcEnable) {
            d.uartEnabled = (value & 1) != 0;
            return 0;
        }
        // The bridge refuses every other request until its UART is enabled.
        if (!d.uartEnabled) return -EPIPE;
        switch (request) {
            case kSetBaudRate:
                if (length != 4) return -EPIPE;
                return crate.setBaudRate(d.slot, le32(data)) ? 4 : -EPIPE;
            case kSetLineCtl:
                if (length != 0) return -EPIPE;
                return crate.setLineControl(d.slot, value) ? 0 : -EPIPE;
            case kSetMhs:
                // A level changes only together with its write mask bit.
                if (value & 0x0100) d.dtr = (value & 0x0001) != 0;
                if (value & 0x0200) d.rts = (value & 0x0002) != 0;
                return crate.setLines(d.slot, d.rts, d.dtr) ? 0 : -EPIPE;
            case kSetFlow:
                return length == kFlowSize ? static_cast<int>(kFlowSize) : -EPIPE;
            case kPurge:
                if ((value & kPurgeReceiveBits) != 0 && !crate.purge(d.slot)) return -EPIPE;
                return 0;
            default:
                ++unknown;
                return -EPIPE;
        }
    }

    int vendorIn(Device& d, uint8_t request, uint8_t* out, std::size_t length) {
        if (!d.uartEnabled) return -EPIPE;
        switch (request) {
            case kGetCommStatus: {
                uint8_t status[kCommStatusSize] = {};
                putLe32(status + 8, static_cast<uint32_t>(crate.rxQueue(d.slot)));
                const std::size_t n = std::min(length, kCommStatusSize);
                std::copy_n(status, n, out);
                return static_cast<int>(n);
            }
            case kGetMdmSts:
                if (length < 1) return -EPIPE;
                out[0] = static_cast<uint8_t>((d.dtr ? 0x01 : 0) | (d.rts ? 0x02 : 0));
                return 1;
            default:
                ++unknown;
                return -EPIPE;
        }
    }

    // A control URB: the 8-byte setup packet, then the data stage.
    int control(Device& d, uint8_t* buffer, std::size_t size) {
        if (size < kSetupSize) return -EPIPE;
        const uint8_t type = buffer[0];
        const uint8_t request = buffer[1];
        const uint16_t value = le16(buffer + 2);
        const uint16_t index = le16(buffer + 4);
        const std::size_t length = std::min<std::size_t>(le16(buffer + 6), size - kSetupSize);
        uint8_t* payload = buffer + kSetupSize;
        if (type == kStandardIn && request == kGetDescriptor && (value >> 8) == kStringDescriptor)
            return stringDescriptor(d, value & 0xFF, payload, length);
        if (type != kVendorOut && type != kVendorIn) {
            ++unknown;
            return -EPIPE;
        }
        ControlRequest entry{d.serial, type, request, value, index, {}};
        if (type == kVendorOut) entry.data.assign(payload, payload + length);
        log.push_back(std::move(entry));
        // wIndex names the interface; the bridge has only interface 0.
        if (index != 0) return -EPIPE;
        return type == kVendorOut ? vendorOut(d, request, value, payload, length)
                                  : vendorIn(d, request, payload, length);
    }

    // SUBMITURB; returns 0 or the errno of a refused submission.
    int submit(Device& d, UMockdevIoctlData* arg) {
        auto u = std::make_unique<PendingUrb>();
        GError* error = nullptr;
        u->urb = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), &error);
        if (u->urb == nullptr) {
            g_clear_error(&error);
            return EFAULT;
        }
        if (u->header().buffer_length > 0) {
            u->buffer =
                umockdev_ioctl_data_resolve(u->urb, offsetof(usbdevfs_urb, buffer), u->length(), &error);
            if (u->buffer == nullptr) {
                g_clear_error(&error);
                return EFAULT;
            }
        }
        usbdevfs_urb& h = u->header();
        if (h.type == USBDEVFS_URB_TYPE_CONTROL) {
            if (h.endpoint != 0 || u->data() == nullptr) return EINVAL;
            const int n = control(d, u->data(), u->length());
            // actual_length counts the data stage only, not the setup packet.
            finish(d, std::move(u), n < 0 ? n : 0, n < 0 ? 0 : static_cast<std::size_t>(n));
            return 0;
        }
        if (h.type != USBDEVFS_URB_TYPE_BULK) return EINVAL;
        if (!d.claimed) return EINVAL;
        if (h.endpoint == kEndpointOut) {
            // A bridge whose UART is off moves no data: the transfer waits like a blocked one.
            if (d.outBlocked || !d.uartEnabled) {
                d.out.push_back(std::move(u));
                return 0;
            }
            const bool ok = crate.write(d.slot, u->data(), u->length());
            const std::size_t n = u->length();
            finish(d, std::move(u), ok ? 0 : -EPIPE, ok ? n : 0);
            return 0;
        }
        if (h.endpoint == kEndpointIn) {
            d.in.push_back(std::move(u));
            pumpBulkIn(d);
            return 0;
        }
        return ENOENT;
    }

    // DISCARDURB: how a time-out ends; the URB completes with -ENOENT and is reaped as usual.
    int discard(Device& d, UMockdevIoctlData* arg) {
        const gulong address = *reinterpret_cast<gulong*>(arg->data);
        for (auto* queue : {&d.in, &d.out}) {
            for (auto it = queue->begin(); it != queue->end(); ++it) {
                if ((*it)->urb->client_addr != address) continue;
                UrbPtr u = std::move(*it);
                queue->erase(it);
                finish(d, std::move(u), -ENOENT, 0);
                return 0;
            }
        }
        return EINVAL;  // already completed: the host reaps it
    }

    int claim(Device& d, UMockdevIoctlData* arg) {
        GError* error = nullptr;
        // CLAIMINTERFACE points at the number; DISCONNECT_CLAIM at a struct that starts with it.
        UMockdevIoctlData* number = umockdev_ioctl_data_resolve(arg, 0, sizeof(unsigned), &error);
        if (number == nullptr) {
            g_clear_error(&error);
            return EFAULT;
        }
        const unsigned interface = *reinterpret_cast<unsigned*>(number->data);
        g_object_unref(number);
        if (interface != 0) return ENOENT;
        if (d.claimed) return 0;
        // The crate refuses a bridge that another program holds: the kernel says EBUSY then.
        const int slot = crate.open(crateIndex(d.serial));
        if (slot < 0) return EBUSY;
        d.claimed = true;
        d.slot = slot;
        d.uartEnabled = false;
        return 0;
    }

    void release(Device& d) {
        for (auto* queue : {&d.in, &d.out}) {
            while (!queue->empty()) {
                finish(d, std::move(queue->front()), -ENOENT, 0);
                queue->pop_front();
            }
        }
        crate.close(d.slot);
        d.claimed = false;
        d.slot = -1;
        d.uartEnabled = false;
    }

    gboolean handle(Device& d, UMockdevIoctlClient* client) {
        const gulong request = umockdev_ioctl_client_get_request(client);
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
        const std::lock_guard lock(mutex);
        int error = 0;
        if (request == static_cast<gulong>(USBDEVFS_REAPURBNDELAY) ||
            request == static_cast<gulong>(USBDEVFS_REAPURB)) {
            if (d.present) pumpBulkIn(d);
            if (d.reap.empty()) {
                error = d.present ? EAGAIN : ENODEV;
            } else {
                UrbPtr u = std::move(d.reap.front());
                d.reap.pop_front();
                // The argument is the host's `void**`: point it at the host's own URB.
                GError* err = nullptr;
                UMockdevIoctlData* slot = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), &err);
                if (slot == nullptr) {
                    g_clear_error(&err);
                    error = EFAULT;
                } else {
                    umockdev_ioctl_data_set_ptr(slot, 0, u->urb);
                    g_object_unref(slot);
                    // The URB and its buffer go back to the host here, so they are released after.
                    umockdev_ioctl_client_complete(client, 0, 0);
                    return TRUE;
                }
            }
        } else if (!d.present) {
            error = ENODEV;
        } else if (request == static_cast<gulong>(USBDEVFS_GET_CAPABILITIES)) {
            GError* err = nullptr;
            UMockdevIoctlData* caps = umockdev_ioctl_data_resolve(arg, 0, sizeof(uint32_t), &err);
            if (caps == nullptr) {
                g_clear_error(&err);
                error = EFAULT;
            } else {
                *reinterpret_cast<uint32_t*>(caps->data) = USBDEVFS_CAP_BULK_CONTINUATION |
                                                           USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                                                           USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
                g_object_unref(caps);
            }
        } else if (request == static_cast<gulong>(USBDEVFS_CLAIMINTERFACE) ||
                   request == static_cast<gulong>(USBDEVFS_DISCONNECT_CLAIM)) {
            error = claim(d, arg);
        } else if (request == static_cast<gulong>(USBDEVFS_RELEASEINTERFACE)) {
            if (d.claimed)
                release(d);
            else
                error = EINVAL;
        } else if (request == static_cast<gulong>(USBDEVFS_SUBMITURB)) {
            error = submit(d, arg);
        } else if (request == static_cast<gulong>(USBDEVFS_DISCARDURB)) {
            error = discard(d, arg);
        } else if (request == static_cast<gulong>(USBDEVFS_IOCTL) ||
                   request == static_cast<gulong>(USBDEVFS_GETDRIVER)) {
            error = ENODATA;  // no kernel driver is bound to the bridge
        } else {
            ++unknown;
            std::fprintf(stderr, "emulated CP210x: unknown ioctl 0x%lx\n", request);
            error = ENOTTY;
        }
        umockdev_ioctl_client_complete(client, error == 0 ? 0 : -1, error);
        return TRUE;
    }

    static gboolean onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer user) {
        auto* d = static_cast<Device*>(user);
        return d->bus->handle(*d, client);
    }
};

namespace {

uint16_t hexId(const std::string& text) {
    return static_cast<uint16_t>(std::stoul(text, nullptr, 16));
}

std::vector<uint8_t> descriptors(uint16_t vendorId, uint16_t productId) {
    const auto lo = [](uint16_t v) { return static_cast<uint8_t>(v & 0xFF); };
    const auto hi = [](uint16_t v) { return static_cast<uint8_t>(v >> 8); };
    return {// Device: USB 2.0, 64-byte control pipe, strings 1 manufacturer, 2 product, 3 serial.
            0x12, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x40, lo(vendorId), hi(vendorId), lo(productId),
            hi(productId), 0x00, 0x01, 1, 2, 3, 1,
            // Configuration 1, 32 bytes in all, bus powered.
            0x09, 0x02, 0x20, 0x00, 0x01, 0x01, 0x00, 0x80, 0x32,
            // Interface 0, vendor class, two endpoints.
            0x09, 0x04, 0x00, 0x00, 0x02, 0xFF, 0x00, 0x00, 0x02,
            // Bulk OUT and bulk IN, 64-byte packets.
            0x07, 0x05, kEndpointOut, 0x02, 0x40, 0x00, 0x00, 0x07, 0x05, kEndpointIn, 0x02, 0x40, 0x00,
            0x00};
}

// The device in umockdev-record form; the N: line is what makes the /dev node.
std::string deviceRecord(const std::string& syspath, int devnum, uint16_t vendorId, uint16_t productId,
                         const std::string& serial) {
    char node[32];
    std::snprintf(node, sizeof node, "bus/usb/001/%03d", devnum);
    char ids[64];
    std::snprintf(ids, sizeof ids, "%04x\\n\nA: idProduct=%04x\\n\n", vendorId, productId);
    std::string r =
        "P: " + syspath + "\nN: " + node + "\nE: DEVNAME=/dev/" + node +
        "\nE: DEVTYPE=usb_device\nE: SUBSYSTEM=usb\nE: BUSNUM=001\nE: DEVNUM=" + std::string(node + 12) +
        "\nA: busnum=1\\n\nA: devnum=" + std::to_string(devnum) +
        "\\n\nA: speed=12\\n\nA: bConfigurationValue=1\\n\nA: dev=189:" + std::to_string(devnum - 1) +
        "\\n\nA: idVendor=" + ids + "A: serial=" + serial + "\\n\nH: descriptors=";
    for (uint8_t b : descriptors(vendorId, productId)) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", b);
        r += hex;
    }
    return r + "\n";
}

}  // namespace

EmulatedCp210xBus::EmulatedCp210xBus(vsim::VirtualCrate& crate) : impl_(std::make_unique<Impl>(crate)) {
    impl_->testbed = umockdev_testbed_new();
    if (!umockdev_in_mock_environment())
        throw std::runtime_error("not running under umockdev's preload library");
    for (int i = 0; i < crate.bridgeCount(); ++i) {
        const vsim::BridgeInfo& info = crate.bridgeInfo(i);
        auto d = std::make_unique<Impl::Device>();
        d->bus = impl_.get();
        d->serial = info.serial;
        d->product = info.description;
        d->vendorId = hexId(info.vid);
        d->productId = hexId(info.pid);
        d->devnum = 2 + i;
        char node[32];
        std::snprintf(node, sizeof node, "/dev/bus/usb/001/%03d", d->devnum);
        d->node = node;
        const std::string syspath = "/devices/pci0000:00/0000:00:14.0/usb1/1-" + std::to_string(i + 1);
        d->syspath = "/sys" + syspath;
        GError* error = nullptr;
        const std::string record = deviceRecord(syspath, d->devnum, d->vendorId, d->productId, d->serial);
        if (!umockdev_testbed_add_from_string(impl_->testbed, record.c_str(), &error)) {
            const std::string text = error != nullptr ? error->message : "unknown error";
            g_clear_error(&error);
            throw std::runtime_error("umockdev refused the device record: " + text);
        }
        d->handler = umockdev_ioctl_base_new();
        g_signal_connect(d->handler, "handle-ioctl", G_CALLBACK(Impl::onIoctl), d.get());
        if (!umockdev_testbed_attach_ioctl(impl_->testbed, d->node.c_str(), d->handler, &error)) {
            const std::string text = error != nullptr ? error->message : "unknown error";
            g_clear_error(&error);
            g_object_unref(d->handler);
            throw std::runtime_error("umockdev could not answer " + d->node + ": " + text);
        }
        impl_->devices.push_back(std::move(d));
    }
}

EmulatedCp210xBus::~EmulatedCp210xBus() {
    // The test bed stops answering first, so no handler runs while the devices go away.
    g_object_unref(impl_->testbed);
    for (auto& d : impl_->devices) {
        d->reap.clear();
        d->in.clear();
        d->out.clear();
        g_object_unref(d->handler);
    }
}

std::vector<ControlRequest> EmulatedCp210xBus::controlRequests() const {
    const std::lock_guard lock(impl_->mutex);
    return impl_->log;
}

void EmulatedCp210xBus::clearControlRequests() {
    const std::lock_guard lock(impl_->mutex);
    impl_->log.clear();
}

void EmulatedCp210xBus::blockBulkOut(const std::string& serial, bool blocked) {
    const std::lock_guard lock(impl_->mutex);
    if (Impl::Device* d = impl_->find(serial)) d->outBlocked = blocked;
}

void EmulatedCp210xBus::unplug(const std::string& serial) {
    std::string syspath;
    {
        const std::lock_guard lock(impl_->mutex);
        Impl::Device* d = impl_->find(serial);
        if (d == nullptr || !d->present) return;
        d->present = false;
        // As the kernel does on a disconnect: transfers in flight end with ESHUTDOWN and can
        // still be reaped; everything after that fails with ENODEV.
        for (auto* queue : {&d->in, &d->out}) {
            while (!queue->empty()) {
                Impl::finish(*d, std::move(queue->front()), -ESHUTDOWN, 0);
                queue->pop_front();
            }
        }
        d->claimed = false;
        d->slot = -1;
        impl_->crate.unplug(serial);
        syspath = d->syspath;
    }
    umockdev_testbed_uevent(impl_->testbed, syspath.c_str(), "remove");
    umockdev_testbed_remove_device(impl_->testbed, syspath.c_str());
}

int EmulatedCp210xBus::pendingBulkIn(const std::string& serial) const {
    const std::lock_guard lock(impl_->mutex);
    const Impl::Device* d = impl_->find(serial);
    return d != nullptr ? static_cast<int>(d->in.size()) : 0;
}

int EmulatedCp210xBus::unknownRequests() const {
    const std::lock_guard lock(impl_->mutex);
    return impl_->unknown;
}

}  // namespace vz::test
