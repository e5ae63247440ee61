#pragma once
// vzctl serve: the crate as a service for facility monitoring (see docs/monitoring.md).
#include <cstdio>
#include <string>
#include <vector>

#include "tools/vzctl/http_service.h"

namespace vz::ctl {

// serve's words [--listen ADDR:PORT] [--allow-control] and vzctl's --token-file, checked before the
// crate is opened; the token is read here. False with the reason (exit status 2).
bool parseServeWords(const std::vector<std::string>& words, const std::string& tokenFile,
                     HttpServiceOptions& options, std::string& error);

// The token in a file only its owner may read: refused when group or others may read or write it, or
// when it holds no token. The token is the file's first line.
bool readTokenFile(const std::string& path, std::string& token, std::string& error);

// Serves the connected crate until SIGTERM, SIGINT or SIGHUP; prints "serving http://ADDR:PORT" once
// it listens. Exit status 0 after a stop signal, 1 when it cannot listen.
int serveCommand(const HttpServiceOptions& options, std::FILE* out);

}  // namespace vz::ctl
