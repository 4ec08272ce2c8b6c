#include "tools/lsp/server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <optional>
#include <thread>

#include "build_version.h"
#include "tools/lsp/annotations.h"
#include "tools/lsp/cell_view.h"
#include "tools/lsp/editing.h"
#include "tools/lsp/features.h"
#include "tools/lsp/protocol.h"
#include "tools/decode/source_names.h"

namespace scenc::lsp {
namespace {

using json = nlohmann::json;

// A malformed request the server answers with an error and goes on.
struct RequestError {
  int code;
  std::string message;
};

const json& member(const json& object, const char* name) {
  if (!object.is_object() || !object.contains(name)) {
    throw RequestError{error_code::kInvalidParams,
                       std::string("missing \"") + name + "\""};
  }
  return object.at(name);
}

std::string string_member(const json& object, const char* name) {
  const json& v = member(object, name);
  if (!v.is_string()) {
    throw RequestError{error_code::kInvalidParams,
                       std::string("\"") + name + "\" is not a string"};
  }
  return v.get<std::string>();
}

std::int64_t integer_member(const json& object, const char* name) {
  const json& v = member(object, name);
  if (!v.is_number_integer()) {
    throw RequestError{error_code::kInvalidParams,
                       std::string("\"") + name + "\" is not an integer"};
  }
  return v.get<std::int64_t>();
}

// The member at `path`, or null where the path leads nowhere: for the
// parts of a message a client may leave out or fill as it likes.
json optional_member(const json& object,
                     std::initializer_list<const char*> path) {
  const json* at = &object;
  for (const char* name : path) {
    if (!at->is_object() || !at->contains(name)) return nullptr;
    at = &(*at)[name];
  }
  return *at;
}

Position position_of(const json& p) {
  return {integer_member(p, "line"), integer_member(p, "character")};
}

Range range_of(const json& r) {
  return {position_of(member(r, "start")), position_of(member(r, "end"))};
}

// The position encodings the server can count in, by their protocol names.
std::optional<PositionEncoding> encoding_named(const json& name) {
  if (name == "utf-16") return PositionEncoding::kUtf16;
  if (name == "utf-8") return PositionEncoding::kUtf8;
  if (name == "utf-32") return PositionEncoding::kUtf32;
  return std::nullopt;
}

const char* name_of(PositionEncoding e) {
  switch (e) {
    case PositionEncoding::kUtf8:
      return "utf-8";
    case PositionEncoding::kUtf32:
      return "utf-32";
    case PositionEncoding::kUtf16:
      break;
  }
  return "utf-16";
}

bool valid_id(const json& id) {
  return id.is_number_integer() || id.is_string() || id.is_null();
}

// ---- The requests about a source -------------------------------------------

// A request about an open source, once what changed has been checked: the
// document, which source it is, the pair it was checked in (null when it
// has none), and what the client takes.
struct SourceRequest {
  const Document& doc;
  SourceKind kind;
  const CheckedPair* pair;
  PositionEncoding units;
  bool snippets;
  const json& params;
  CellViewFiles& views;
};

using SourceMethod = json (*)(const SourceRequest&);

json hover_of(const SourceRequest& r) {
  return r.pair ? hover(*r.pair, r.kind, position_of(member(r.params, "position")),
                        r.units)
                : json();
}
json symbols_of(const SourceRequest& r) {
  return document_symbols(*r.doc.text, r.kind, r.units);
}
json completion_of(const SourceRequest& r) {
  return completion(*r.doc.text, r.kind, position_of(member(r.params, "position")),
                    r.units, r.snippets);
}
json formatting_of(const SourceRequest& r) {
  return r.pair ? formatting(*r.pair, r.kind, std::nullopt, r.units) : json();
}
json range_formatting_of(const SourceRequest& r) {
  return r.pair ? formatting(*r.pair, r.kind, range_of(member(r.params, "range")),
                             r.units)
                : json();
}
json code_actions_of(const SourceRequest& r) {
  return r.pair ? code_actions(*r.pair, r.kind, r.doc.uri,
                               range_of(member(r.params, "range")), r.units)
                : json::array();
}
json inlay_hints_of(const SourceRequest& r) {
  return r.pair ? inlay_hints(*r.pair, r.kind,
                              range_of(member(r.params, "range")), r.units)
                : json::array();
}
// From a diagnostic to the rows it names; from a slow order to its marks,
// in a view of the cells around it written for the editor to open.
json definition_of(const SourceRequest& r) {
  if (!r.pair) return json::array();
  const Position at = position_of(member(r.params, "position"));
  json found = definition(*r.pair, r.kind, at, r.units);
  if (!found.empty()) return found;
  const std::int64_t line = r.doc.text->to_source(at, r.units).first;
  const std::optional<CellView> view = slow_order_cells(*r.pair, r.kind, line);
  if (!view) return found;
  const std::optional<std::string> uri = r.views.write(r.doc.uri, line, *view);
  if (!uri) return found;
  for (const std::int64_t mark : view->mark_lines) {
    found.push_back(protocol::location(*uri, {{mark, 0}, {mark, 0}}));
  }
  return found;
}
json semantic_tokens_of(const SourceRequest& r) {
  return r.pair ? semantic_tokens(*r.pair, r.kind, r.units) : json();
}

// Every request about a source the server answers, by its method.
struct SourceMethodRow {
  std::string_view method;
  SourceMethod answer;
};
constexpr SourceMethodRow kSourceMethods[] = {
    {"textDocument/hover", hover_of},
    {"textDocument/documentSymbol", symbols_of},
    {"textDocument/completion", completion_of},
    {"textDocument/formatting", formatting_of},
    {"textDocument/rangeFormatting", range_formatting_of},
    {"textDocument/codeAction", code_actions_of},
    {"textDocument/inlayHint", inlay_hints_of},
    {"textDocument/definition", definition_of},
    {"textDocument/semanticTokens/full", semantic_tokens_of},
};

const SourceMethodRow* source_method(std::string_view method) {
  for (const SourceMethodRow& row : kSourceMethods) {
    if (row.method == method) return &row;
  }
  return nullptr;
}

}  // namespace

void Server::respond(const json& id, json result) {
  send_(json{{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}}
            .dump(-1, ' ', false, json::error_handler_t::replace));
}

void Server::fail(const json& id, int code, const std::string& message) {
  send_(json{{"jsonrpc", "2.0"},
             {"id", id},
             {"error", {{"code", code}, {"message", message}}}}
            .dump(-1, ' ', false, json::error_handler_t::replace));
}

void Server::notify(const std::string& method, json params) {
  send_(json{{"jsonrpc", "2.0"},
             {"method", method},
             {"params", std::move(params)}}
            .dump(-1, ' ', false, json::error_handler_t::replace));
}

void Server::receive(const Frame& frame) {
  if (frame.malformed) {
    fail(nullptr, error_code::kParseError, "Parse error: " + frame.content);
    return;
  }
  // The parse itself keeps its own stack, but copying, comparing or
  // freeing a value recurses once per level: a message nested deeper than
  // any the protocol sends is refused while it is read, before it is ever
  // built that deep.
  struct TooDeep {};
  const auto bounded = [](int depth, json::parse_event_t, json&) {
    if (depth > kDeepestMessage) throw TooDeep{};
    return true;
  };
  json message;
  try {
    message = json::parse(frame.content, bounded, false);
  } catch (const TooDeep&) {
    fail(nullptr, error_code::kInvalidRequest,
         "the message nests deeper than " + std::to_string(kDeepestMessage) +
             " levels");
    return;
  }
  if (message.is_discarded()) {
    fail(nullptr, error_code::kParseError, "Parse error: the content is not JSON");
    return;
  }
  dispatch(message);
}

void Server::publish_pending() {
  for (json& p : workspace_.publish()) {
    notify("textDocument/publishDiagnostics", std::move(p));
  }
}

void Server::recovered(const RecoveryJob& job,
                       std::optional<tools::CheckResult> check) {
  for (json& p : workspace_.recovered(job, std::move(check))) {
    notify("textDocument/publishDiagnostics", std::move(p));
  }
}

void Server::dispatch(const json& message) {
  if (!message.is_object()) {
    fail(nullptr, error_code::kInvalidRequest, "a message is a JSON object");
    return;
  }
  const bool has_id = message.contains("id");
  const json id = has_id && valid_id(message["id"]) ? message["id"] : json();
  if (has_id && !valid_id(message["id"])) {
    fail(nullptr, error_code::kInvalidRequest, "\"id\" is not a number or string");
    return;
  }
  if (!message.contains("method")) {
    // A response to a request of the server's; it sends none, so there is
    // nothing to match it to.
    if (!has_id || !(message.contains("result") || message.contains("error"))) {
      fail(id, error_code::kInvalidRequest, "a request needs a \"method\"");
    }
    return;
  }
  // Params are structured, or absent; a null stands for absent, as some
  // clients send it for requests without parameters.
  const json params = message.value("params", json());
  if (!message["method"].is_string() || message.value("jsonrpc", json()) != "2.0" ||
      !(params.is_null() || params.is_object() || params.is_array())) {
    if (has_id) {
      fail(id, error_code::kInvalidRequest,
           "a request has \"jsonrpc\": \"2.0\", a string \"method\" and "
           "structured \"params\"");
    }
    return;
  }
  const std::string method = message["method"].get<std::string>();

  if (method == "exit") {
    exit_status_ = shut_down_ ? 0 : 1;
    return;
  }
  if (shut_down_) {
    if (has_id) fail(id, error_code::kInvalidRequest, "the server has shut down");
    return;
  }
  try {
    if (!initialized_) {
      if (method == "initialize" && has_id) {
        respond(id, initialize(params));
        initialized_ = true;
      } else if (has_id) {
        fail(id, error_code::kServerNotInitialized,
             "the server is not initialized yet");
      }
      return;
    }
    if (!has_id) {
      if (method == "textDocument/didOpen") {
        did_open(params);
      } else if (method == "textDocument/didChange") {
        did_change(params);
      } else if (method == "textDocument/didClose") {
        did_close(params);
      }
      // Every other notification (initialized, didSave, $/cancelRequest,
      // ...) needs nothing from this server.
      return;
    }
    if (method == "initialize") {
      fail(id, error_code::kInvalidRequest, "the server is already initialized");
    } else if (method == "shutdown") {
      shut_down_ = true;
      respond(id, nullptr);
    } else if (const SourceMethodRow* row = source_method(method)) {
      // A request reads the sources as they stand now: what changed is
      // checked, and its diagnostics go out first.
      publish_pending();
      const std::string uri = string_member(member(params, "textDocument"), "uri");
      const Document* doc = workspace_.find(uri);
      const SourceKind kind =
          doc ? tools::source_kind_of_name(doc->name.name) : SourceKind::kNone;
      if (doc == nullptr || kind == SourceKind::kNone) {
        respond(id, nullptr);
        return;
      }
      respond(id, row->answer({*doc, kind, workspace_.pair_of(uri),
                               workspace_.units(), snippets_, params,
                               cell_views_}));
    } else {
      fail(id, error_code::kMethodNotFound, "no method " + method);
    }
  } catch (const RequestError& e) {
    if (has_id) fail(id, e.code, e.message);
  } catch (const json::exception& e) {
    if (has_id) fail(id, error_code::kInvalidParams, e.what());
  } catch (const std::exception& e) {
    if (has_id) fail(id, error_code::kInternalError, e.what());
  }
}

json Server::initialize(const json& params) {
  // The client lists the position encodings it offers, the one it prefers
  // first; without a list only UTF-16 is agreed.
  PositionEncoding units = PositionEncoding::kUtf16;
  const json offered =
      optional_member(params, {"capabilities", "general", "positionEncodings"});
  if (offered.is_array()) {
    for (const json& name : offered) {
      if (const auto e = encoding_named(name)) {
        units = *e;
        break;
      }
    }
  }
  workspace_.set_units(units);
  snippets_ = optional_member(params, {"capabilities", "textDocument",
                                       "completion", "completionItem",
                                       "snippetSupport"}) == true;
  if (optional_member(params, {"initializationOptions", "encoding"}) ==
      "utf-8") {
    workspace_.set_default_encoding(FileEncoding::kUtf8);
  }
  return {{"capabilities",
           {{"positionEncoding", name_of(units)},
            {"textDocumentSync", {{"openClose", true}, {"change", 2}}},
            {"hoverProvider", true},
            {"documentSymbolProvider", true},
            {"completionProvider", json::object()},
            {"documentFormattingProvider", true},
            {"documentRangeFormattingProvider", true},
            {"codeActionProvider", {{"codeActionKinds", {"quickfix"}}}},
            {"inlayHintProvider", true},
            {"definitionProvider", true},
            {"semanticTokensProvider",
             {{"legend", protocol::semantic_tokens_legend()},
              {"full", true}}}}},
          {"serverInfo", {{"name", "scenarioc"}, {"version", kBuildVersion}}}};
}

void Server::did_open(const json& params) {
  const json& doc = member(params, "textDocument");
  workspace_.open(string_member(doc, "uri"), integer_member(doc, "version"),
                  string_member(doc, "text"));
}

void Server::did_change(const json& params) {
  const json& id = member(params, "textDocument");
  const std::string uri = string_member(id, "uri");
  if (workspace_.find(uri) == nullptr) return;
  const json& changes = member(params, "contentChanges");
  if (!changes.is_array()) {
    throw RequestError{error_code::kInvalidParams,
                       "\"contentChanges\" is not a list"};
  }
  // Every edit is read before any is made: a change is taken whole, its
  // edits in order, or not at all.
  std::vector<TextEdit> edits;
  edits.reserve(changes.size());
  for (const json& change : changes) {
    TextEdit& edit = edits.emplace_back();
    if (change.is_object() && change.contains("range")) {
      edit.range = range_of(change["range"]);
    }
    edit.text = string_member(change, "text");
  }
  const json version = optional_member(id, {"version"});
  workspace_.edit(uri, edits,
                  version.is_number_integer()
                      ? std::optional(version.get<std::int64_t>())
                      : std::nullopt);
}

void Server::did_close(const json& params) {
  workspace_.close(string_member(member(params, "textDocument"), "uri"));
}

namespace {

bool write_all(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// A pipe whose write end a thread writes a byte to when it is done, for a
// poll beside the input to wake on. Closed when the last holder lets go.
struct WakePipe {
  WakePipe() {
    if (::pipe2(fd, O_CLOEXEC) != 0) fd[0] = fd[1] = -1;
  }
  ~WakePipe() {
    for (const int f : fd) {
      if (f >= 0) ::close(f);
    }
  }
  WakePipe(const WakePipe&) = delete;
  WakePipe& operator=(const WakePipe&) = delete;
  int fd[2] = {-1, -1};
};

// Checks with recovery whose thread has not yet ended.
std::atomic<int> recoveries_running{0};

// The one check with recovery under way, on its own thread. When it ends,
// it writes a byte to a pipe the server polls beside its input. A check
// whose sources have changed since is asked to stop; one still running
// when the server ends is left to the end of the process.
class RecoveryRunner {
 public:
  ~RecoveryRunner() {
    if (!worker_.joinable()) return;
    run_->stop.request_stop();
    worker_.detach();
  }

  bool busy() const { return run_ != nullptr; }
  const RecoveryJob& job() const { return run_->job; }
  // The descriptor that becomes readable when the check has ended; -1
  // when none is under way.
  int wake_fd() const { return busy() ? wake_->fd[0] : -1; }

  // Runs the job beside the server, or at once where no pipe could be made.
  void start(Server& server, RecoveryJob job) {
    if (wake_->fd[0] < 0) {
      server.recovered(job, run_guarded(job, {}));
      return;
    }
    run_ = std::make_shared<Run>();
    run_->job = std::move(job);
    // The thread holds what it uses, so that it may outlive the server,
    // and lets go of it before it counts itself out.
    ++recoveries_running;
    worker_ = std::thread([run = run_, wake = wake_]() mutable {
      run->result = run_guarded(run->job, run->stop.get_token());
      const char done = 1;
      while (::write(wake->fd[1], &done, 1) < 0 && errno == EINTR) {
      }
      run.reset();
      wake.reset();
      --recoveries_running;
    });
  }
  // Asks the check to stop before its next compile.
  void cancel() {
    if (busy()) run_->stop.request_stop();
  }
  // Once the wake descriptor is readable: publishes what the check found.
  void finish(Server& server) {
    char done = 0;
    while (::read(wake_->fd[0], &done, 1) < 0 && errno == EINTR) {
    }
    worker_.join();
    const std::shared_ptr<Run> run = std::move(run_);
    server.recovered(run->job, std::move(run->result));
  }

 private:
  struct Run {
    RecoveryJob job;
    std::stop_source stop;
    std::optional<tools::CheckResult> result;
  };

  static std::optional<tools::CheckResult> run_guarded(const RecoveryJob& job,
                                                       std::stop_token stop) {
    try {
      return run_recovery(job, std::move(stop));
    } catch (...) {
      return std::nullopt;
    }
  }

  std::shared_ptr<WakePipe> wake_ = std::make_shared<WakePipe>();
  std::shared_ptr<Run> run_;
  std::thread worker_;
};

}  // namespace

bool recovery_still_running() { return recoveries_running.load() > 0; }

int serve(int input, int output, FileAccess& files) {
  // A client that goes away ends the server through a failed write, not a
  // signal.
  ::signal(SIGPIPE, SIG_IGN);
  bool output_open = true;
  Server server(files, [&](const std::string& content) {
    output_open = output_open && write_all(output, frame(content));
  });
  MessageReader reader;
  RecoveryRunner recovery;
  std::string buffer(1 << 16, '\0');
  while (true) {
    while (const auto f = reader.next()) {
      server.receive(*f);
      if (const auto status = server.exit_status()) return *status;
    }
    if (!output_open) return 1;
    // A check whose sources changed since it began is of no more use.
    if (recovery.busy() && server.stale(recovery.job())) recovery.cancel();
    // With every change checked, a check with recovery that is due starts.
    if (!server.pending() && !recovery.busy()) {
      if (auto job = server.recovery_job()) {
        recovery.start(server, std::move(*job));
        continue;
      }
    }
    // Changes that arrive together are checked once: the check runs when no
    // more input is waiting.
    pollfd wait[2] = {{input, POLLIN, 0}, {recovery.wake_fd(), POLLIN, 0}};
    const int ready = ::poll(wait, 2, server.pending() ? 0 : -1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) {
      server.publish_pending();
      continue;
    }
    if (ready > 0 && (wait[1].revents & POLLIN) != 0) {
      recovery.finish(server);
      continue;
    }
    const ssize_t n = ready < 0 ? -1 : ::read(input, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return server.status_at_end_of_input();
    reader.feed(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
  }
}

}  // namespace scenc::lsp
