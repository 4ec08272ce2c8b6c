// Drives `scenarioc lsp` as an editor's client would: a child process with
// framed JSON-RPC messages written to its standard input and read back from
// its standard output. Every wait is bounded.
#pragma once

#include <chrono>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"

namespace scenc::testing {

class LspClient {
 public:
  using json = nlohmann::json;
  static constexpr std::chrono::seconds kPatience{30};

  explicit LspClient(const std::filesystem::path& working_directory = {},
                     EnvironmentChanges environment = {})
      : child_({std::string(SCENARIO_BIN_DIR) + "/scenarioc", "lsp"},
               {.environment = std::move(environment),
                .stdin_pipe = true,
                .working_directory = working_directory}) {}

  bool started() const { return child_.started(); }
  pid_t pid() const { return child_.pid(); }

  void send_raw(const std::string& bytes) { child_.write_stdin(bytes); }
  void send(const json& message) {
    const std::string content = message.dump();
    send_raw("Content-Length: " + std::to_string(content.size()) + "\r\n\r\n" +
             content);
  }
  void notify(const std::string& method, json params = json::object()) {
    send({{"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}});
  }
  // Sends a request and waits for its response (null when none came).
  json request(const std::string& method, json params = json::object()) {
    const int id = next_id_++;
    send({{"jsonrpc", "2.0"},
          {"id", id},
          {"method", method},
          {"params", std::move(params)}});
    return response(id);
  }
  json response(const json& id) {
    return wait_for([&](const json& m) {
      return m.contains("id") && m["id"] == id && !m.contains("method");
    });
  }
  json initialize(json params = {{"capabilities", json::object()}}) {
    json r = request("initialize", std::move(params));
    notify("initialized");
    return r;
  }

  // Waits for the next message not yet taken that `accepts`; every message
  // before it stays for later waits. Null after the patience runs out.
  template <typename Accept>
  json wait_for(Accept accepts,
                std::chrono::milliseconds patience = kPatience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (true) {
      read_messages();
      for (std::size_t i = 0; i < messages_.size(); ++i) {
        if (!taken_[i] && accepts(messages_[i])) {
          taken_[i] = true;
          return messages_[i];
        }
      }
      if (std::chrono::steady_clock::now() >= deadline ||
          child_.poll_exit()) {
        read_messages();
        for (std::size_t i = 0; i < messages_.size(); ++i) {
          if (!taken_[i] && accepts(messages_[i])) {
            taken_[i] = true;
            return messages_[i];
          }
        }
        return nullptr;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

  // Takes every message received so far that `accepts`, and returns how
  // many there were.
  template <typename Accept>
  int take_all(Accept accepts) {
    read_messages();
    int n = 0;
    for (std::size_t i = 0; i < messages_.size(); ++i) {
      if (!taken_[i] && accepts(messages_[i])) {
        taken_[i] = true;
        ++n;
      }
    }
    return n;
  }

  // The next diagnostics published for `uri`: the list, or null.
  json diagnostics(const std::string& uri) {
    const json m = wait_for([&](const json& m) {
      return m.value("method", "") == "textDocument/publishDiagnostics" &&
             m["params"]["uri"] == uri;
    });
    return m.is_null() ? m : m["params"]["diagnostics"];
  }

  // Takes every diagnostics published for `uri` so far and returns the
  // last list, or null when there was none. After a request's response,
  // what the server published before answering is all here.
  json latest_diagnostics(const std::string& uri) {
    read_messages();
    json last;
    for (std::size_t i = 0; i < messages_.size(); ++i) {
      const json& m = messages_[i];
      if (!taken_[i] &&
          m.value("method", "") == "textDocument/publishDiagnostics" &&
          m["params"]["uri"] == uri) {
        taken_[i] = true;
        last = m["params"]["diagnostics"];
      }
    }
    return last;
  }

  // Every message received so far, taken or not.
  const std::vector<json>& messages() {
    read_messages();
    return messages_;
  }

  std::optional<int> wait_for_exit(std::chrono::milliseconds limit = kPatience) {
    return child_.wait_for_exit(limit);
  }
  void close_input() { child_.close_stdin(); }
  std::string stderr_text() const { return child_.stderr_text(); }

 private:
  // Parses the frames the server has written so far.
  void read_messages() {
    const std::string out = child_.stdout_text();
    while (true) {
      const std::size_t header_end = out.find("\r\n\r\n", parsed_);
      if (header_end == std::string::npos) return;
      const std::string header = out.substr(parsed_, header_end - parsed_);
      const std::size_t colon = header.find(':');
      const std::size_t length = std::stoul(header.substr(colon + 1));
      if (out.size() < header_end + 4 + length) return;
      messages_.push_back(json::parse(out.substr(header_end + 4, length)));
      taken_.push_back(false);
      parsed_ = header_end + 4 + length;
    }
  }

  ChildProcess child_;
  int next_id_ = 1;
  std::size_t parsed_ = 0;
  std::vector<json> messages_;
  std::vector<bool> taken_;
};

}  // namespace scenc::testing
