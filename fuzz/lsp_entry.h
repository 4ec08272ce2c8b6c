// The entry point of the language server's fuzz target, shared with the test
// that replays its seeds: arbitrary bytes read as what a client wrote to the
// server, through the framing reader, the dispatch, the open documents and
// the check of every pair, with recovery. Whatever the bytes, every message the
// server writes must be a JSON-RPC 2.0 response or notification.
#pragma once

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "tools/lsp/server.h"

namespace scenc::fuzz {

// The first message the server wrote that breaks the protocol, or empty.
inline std::string serve_bytes(const std::uint8_t* data, std::size_t size) {
  std::string problem;
  const auto check = [&](const std::string& content) {
    const auto m = nlohmann::json::parse(content, nullptr, false);
    const bool response = m.is_object() && m.contains("id") &&
                          (m.contains("result") != m.contains("error"));
    const bool notification = m.is_object() && m.contains("method") &&
                              !m.contains("id");
    if (problem.empty() &&
        (m.is_discarded() || m.value("jsonrpc", "") != "2.0" ||
         !(response || notification))) {
      problem = "the server wrote: " + content.substr(0, 200);
    }
  };
  lsp::NoFiles files;  // sources exist only as the documents opened
  lsp::Server server(files, check);
  lsp::MessageReader reader;
  reader.feed(std::string_view(reinterpret_cast<const char*>(data), size));
  while (const auto frame = reader.next()) {
    server.receive(*frame);
    if (server.exit_status()) return problem;
  }
  server.publish_pending();
  // The checks with recovery, which the server runs beside, in turn.
  while (const auto job = server.recovery_job()) {
    server.recovered(*job, lsp::run_recovery(*job));
  }
  return problem;
}

}  // namespace scenc::fuzz
