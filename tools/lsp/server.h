// The language server of `scenarioc lsp`: JSON-RPC 2.0 messages of the
// Language Server Protocol in, responses and diagnostics out. It answers
// initialize and shutdown, keeps the open sources in step with the editor
// (whole or incremental changes), publishes the check's diagnostics of both
// sources of every pair, and answers hover, document symbols, completion,
// formatting, quick fixes, inlay hints, definition (from a diagnostic to
// the rows it names, from a slow order to a view of its cells) and
// semantic tokens.
// Whatever a message holds, the server answers or ignores it as the protocol
// says and goes on; only exit ends it.
#pragma once

#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "tools/lsp/cell_view.h"
#include "tools/lsp/framing.h"
#include "tools/lsp/workspace.h"

namespace scenc::lsp {

// JSON-RPC and protocol error codes.
namespace error_code {
inline constexpr int kParseError = -32700;
inline constexpr int kInvalidRequest = -32600;
inline constexpr int kMethodNotFound = -32601;
inline constexpr int kInvalidParams = -32602;
inline constexpr int kInternalError = -32603;
inline constexpr int kServerNotInitialized = -32002;
}  // namespace error_code

// The deepest a message may nest. The protocol's own messages nest about
// ten levels; a client's free-form options a few more.
inline constexpr int kDeepestMessage = 64;

class Server {
 public:
  // Receives the content of each message the server sends.
  using Send = std::function<void(const std::string& content)>;

  Server(FileAccess& files, Send send) : workspace_(files), send_(std::move(send)) {}

  // Handles one frame from the reader.
  void receive(const Frame& frame);
  // True when documents changed and their diagnostics are not yet out.
  bool pending() const { return workspace_.pending(); }
  // Checks what changed and publishes its diagnostics: those of each
  // pair's first compile, at once.
  void publish_pending();
  // A pair whose faults behind a stage-ending fault are still to be found:
  // the check with recovery to run, beside the server or in its turn.
  std::optional<RecoveryJob> recovery_job() {
    return workspace_.recovery_job();
  }
  // True once a recovery job's sources have changed since it began.
  bool stale(const RecoveryJob& job) const { return workspace_.stale(job); }
  // Publishes the diagnostics of a recovery job's check (nothing when it
  // failed, or when its pair has changed since).
  void recovered(const RecoveryJob& job,
                 std::optional<tools::CheckResult> check);

  // The exit status once an exit notification came: 0 after shutdown, 1
  // without.
  std::optional<int> exit_status() const { return exit_status_; }
  // The exit status when the input ends without an exit notification.
  int status_at_end_of_input() const { return shut_down_ ? 0 : 1; }

 private:
  void dispatch(const nlohmann::json& message);
  void respond(const nlohmann::json& id, nlohmann::json result);
  void fail(const nlohmann::json& id, int code, const std::string& message);
  void notify(const std::string& method, nlohmann::json params);

  nlohmann::json initialize(const nlohmann::json& params);
  void did_open(const nlohmann::json& params);
  void did_change(const nlohmann::json& params);
  void did_close(const nlohmann::json& params);

  Workspace workspace_;
  Send send_;
  // The views of cells that definition wrote for the editor to open.
  CellViewFiles cell_views_;
  bool initialized_ = false;
  // The client inserts snippets (it said so when it initialized).
  bool snippets_ = false;
  bool shut_down_ = false;
  std::optional<int> exit_status_;
};

// Serves the protocol over two file descriptors until exit or the end of
// the input; returns the exit status. The checks with recovery run on a
// thread of their own, one at a time, so that a long one never holds up
// the answer to the next change. A check still under way when it returns
// is asked to stop and left running.
int serve(int input, int output, FileAccess& files);

// True while a check with recovery that serve left behind still runs. It
// may still read the compile's tables, so the process must then end at
// once (std::_Exit), never through the destructors of those tables.
bool recovery_still_running();

}  // namespace scenc::lsp
