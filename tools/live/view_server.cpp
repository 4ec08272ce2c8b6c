#include "tools/live/view_server.h"

#include <algorithm>
#include <atomic>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <cctype>
#include <chrono>
#include <deque>
#include <future>
#include <map>
#include <optional>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "scenario/exit_status.h"
#include "tools/decode/scenario_set.h"

namespace scenc::tools {
namespace {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = net::ip::tcp;

// A request's head is read within this, and one event written within the
// other; a page that reads nothing for that long is let go.
constexpr auto kRequestTime = std::chrono::seconds(10);
constexpr auto kEventTime = std::chrono::seconds(30);
constexpr std::size_t kLargestHead = 8 * 1024;
// Pages that stop listening are noticed at once; this many listening at
// a time is more than an author opens, and keeps descriptors in hand.
constexpr std::size_t kMostConnections = 64;

// What every answer carries: nothing is cached, sniffed, framed or sent
// on; the page may run its own script and open its own event stream only.
void common_headers(http::fields& f) {
  f.set(http::field::server, "scenarioc serve");
  f.set(http::field::cache_control, "no-store");
  f.set("X-Content-Type-Options", "nosniff");
  f.set("Referrer-Policy", "no-referrer");
  f.set("Content-Security-Policy",
        "default-src 'none'; script-src 'unsafe-inline'; "
        "style-src 'unsafe-inline'; img-src data:; connect-src 'self'; "
        "base-uri 'none'; form-action 'none'; frame-ancestors 'none'");
}

// One event as the stream spells it: every line of the data on a line of
// its own.
std::string event_text(const std::string& name, const std::string& data) {
  std::string out = "event: " + name + "\n";
  std::size_t at = 0;
  while (true) {
    const std::size_t end = data.find('\n', at);
    out += "data: " + data.substr(at, end - at) + "\n";
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return out + "\n";
}

std::string lowered(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

class Session;

}  // namespace

class ViewServer::State {
 public:
  net::io_context io{1};
  tcp::acceptor acceptor{io};
  std::thread thread;
  std::uint16_t port = 0;
  std::atomic<int> listening{0};
  // Touched on the server's thread only.
  std::shared_ptr<const std::string> page =
      std::make_shared<const std::string>();
  std::vector<std::pair<std::string, std::string>> last;  // name, text
  std::set<std::shared_ptr<Session>> sessions;
  bool stopping = false;
  std::optional<net::steady_timer> ending;  // the longest the end may take

  void accept();
  bool host_allowed(std::string_view host) const {
    const std::string h = lowered(host);
    const std::string p = std::to_string(port);
    return h == "127.0.0.1:" + p || h == "localhost:" + p ||
           (port == 80 && (h == "127.0.0.1" || h == "localhost"));
  }
};

namespace {

class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(tcp::socket socket, ViewServer::State& state)
      : stream_(std::move(socket)), state_(state) {}

  void start() {
    parser_.emplace();
    parser_->header_limit(kLargestHead);
    stream_.expires_after(kRequestTime);
    http::async_read(
        stream_, buffer_, *parser_,
        [self = shared_from_this()](beast::error_code ec, std::size_t) {
          self->on_request(ec);
        });
  }

  // Queues an event for a page that listens; an older event of the same
  // name that has not begun to go out is dropped for it.
  void push(const std::string& name, const std::string& text) {
    if (!listening_ || closed_) return;
    for (auto it = queue_.begin() + (writing_ ? 1 : 0); it != queue_.end();) {
      it = it->first == name ? queue_.erase(it) : it + 1;
    }
    queue_.emplace_back(name, text);
    write_next();
  }

  // The last event for a page that listens, then the end; anything else
  // closes at once.
  void finish() {
    if (!listening_) {
      close();
      return;
    }
    end_after_ = true;
    push("end", event_text("end", "the server has stopped"));
  }

  void close() {
    if (closed_) return;
    const auto self = shared_from_this();
    closed_ = true;
    beast::error_code ec;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ec);
    stream_.close();
    if (listening_) --state_.listening;
    state_.sessions.erase(self);
    // The last page has had its end: nothing is left to wait for.
    if (state_.stopping && state_.sessions.empty() && state_.ending) {
      state_.ending->cancel();
    }
  }

 private:
  void on_request(beast::error_code ec) {
    if (ec == http::error::end_of_stream || ec == beast::error::timeout ||
        ec == net::error::operation_aborted || state_.stopping) {
      close();
      return;
    }
    if (ec) {
      reply(http::status::bad_request, "This is not a request.\n", false);
      return;
    }
    answer(parser_->get());
  }

  void answer(const http::request<http::empty_body>& req) {
    const bool head = req.method() == http::verb::head;
    const auto host = req[http::field::host];
    if (!state_.host_allowed(std::string_view(host.data(), host.size()))) {
      reply(http::status::forbidden,
            "This server answers only to http://127.0.0.1:" +
                std::to_string(state_.port) + "/\n",
            head);
      return;
    }
    if (req.method() != http::verb::get && !head) {
      reply(http::status::method_not_allowed, "Only GET and HEAD.\n", false);
      return;
    }
    // Only its own paths, as a page of its own asks for them: nothing
    // outside "/", nothing that climbs, nothing encoded.
    const std::string_view target(req.target().data(), req.target().size());
    const std::string_view path = target.substr(0, target.find('?'));
    if (path.empty() || path[0] != '/' || path.starts_with("//") ||
        path.find("..") != std::string_view::npos ||
        path.find('%') != std::string_view::npos ||
        path.find('\\') != std::string_view::npos) {
      reply(http::status::bad_request, "Not a path of this server.\n", head);
    } else if (path == "/") {
      reply(http::status::ok, *state_.page, head, "text/html; charset=utf-8");
    } else if (path == "/events" && !head) {
      listen();
    } else if (path == "/events") {
      reply(http::status::ok, "", true, "text/event-stream");
    } else {
      reply(http::status::not_found, "Nothing here.\n", head);
    }
  }

  void reply(http::status status, const std::string& body, bool head,
             const char* type = "text/plain; charset=utf-8") {
    auto res = std::make_shared<http::response<http::string_body>>(status, 11);
    common_headers(*res);
    res->set(http::field::content_type, type);
    if (status == http::status::method_not_allowed) {
      res->set(http::field::allow, "GET, HEAD");
    }
    res->keep_alive(false);
    res->content_length(body.size());
    if (!head) res->body() = body;
    stream_.expires_after(kRequestTime);
    http::async_write(stream_, *res,
                      [self = shared_from_this(), res](
                          beast::error_code, std::size_t) { self->close(); });
  }

  // The event stream: its head, how soon to come back when it breaks, the
  // last events so far, and each one after as it comes.
  void listen() {
    auto res = std::make_shared<http::response<http::empty_body>>(
        http::status::ok, 11);
    common_headers(*res);
    res->set(http::field::content_type, "text/event-stream");
    res->keep_alive(false);
    auto head =
        std::make_shared<http::response_serializer<http::empty_body>>(*res);
    http::async_write_header(
        stream_, *head,
        [self = shared_from_this(), res, head](beast::error_code ec,
                                               std::size_t) {
          if (ec) {
            self->close();
            return;
          }
          self->stream_.expires_never();
          self->listening_ = true;
          ++self->state_.listening;
          self->queue_.emplace_back("", "retry: 1000\n\n");
          for (const auto& [name, text] : self->state_.last) {
            self->queue_.emplace_back(name, text);
          }
          self->write_next();
          self->notice_leaving();
        });
  }

  void write_next() {
    if (writing_ || queue_.empty() || closed_) return;
    writing_ = true;
    stream_.expires_after(kEventTime);
    net::async_write(
        stream_, net::buffer(queue_.front().second),
        [self = shared_from_this()](beast::error_code ec, std::size_t) {
          self->writing_ = false;
          if (ec) {
            self->close();
            return;
          }
          self->stream_.expires_never();
          self->queue_.pop_front();
          if (self->queue_.empty() && self->end_after_) {
            self->close();
            return;
          }
          self->write_next();
        });
  }

  // A page that goes away closes its end: a read that ends tells.
  void notice_leaving() {
    stream_.async_read_some(
        net::buffer(probe_),
        [self = shared_from_this()](beast::error_code ec, std::size_t) {
          if (ec) {
            self->close();
          } else {
            self->notice_leaving();
          }
        });
  }

  beast::tcp_stream stream_;
  ViewServer::State& state_;
  beast::flat_buffer buffer_{kLargestHead};
  std::optional<http::request_parser<http::empty_body>> parser_;
  std::deque<std::pair<std::string, std::string>> queue_;  // name, text
  bool listening_ = false;
  bool writing_ = false;
  bool end_after_ = false;
  bool closed_ = false;
  char probe_[64];
};

}  // namespace

void ViewServer::State::accept() {
  acceptor.async_accept([this](beast::error_code ec, tcp::socket socket) {
    if (ec || stopping) return;
    if (sessions.size() < kMostConnections) {
      auto session = std::make_shared<Session>(std::move(socket), *this);
      sessions.insert(session);
      session->start();
    }
    accept();
  });
}

ViewServer::ViewServer(std::uint16_t port) : state_(std::make_shared<State>()) {
  State& s = *state_;
  const tcp::endpoint loopback(net::ip::make_address_v4("127.0.0.1"), port);
  beast::error_code ec;
  s.acceptor.open(loopback.protocol(), ec);
  if (!ec) s.acceptor.set_option(net::socket_base::reuse_address(true), ec);
  if (!ec) s.acceptor.bind(loopback, ec);
  if (!ec) s.acceptor.listen(net::socket_base::max_listen_connections, ec);
  if (ec) {
    throw ToolError{exit_status::kFileFailed,
                    "cannot listen on 127.0.0.1:" + std::to_string(port) +
                        ": " + ec.message()};
  }
  s.port = s.acceptor.local_endpoint().port();
  s.accept();
  s.thread = std::thread([state = state_] { state->io.run(); });
}

ViewServer::~ViewServer() { stop(); }

std::uint16_t ViewServer::port() const { return state_->port; }

std::string ViewServer::url() const {
  return "http://127.0.0.1:" + std::to_string(state_->port) + "/";
}

int ViewServer::listeners() const { return state_->listening; }

void ViewServer::set_page(std::string html) {
  auto page = std::make_shared<const std::string>(std::move(html));
  net::post(state_->io, [state = state_, page] { state->page = page; });
}

void ViewServer::send(const std::string& name, const std::string& data) {
  net::post(state_->io, [state = state_, name, text = event_text(name, data)] {
    auto& last = state->last;
    const auto kept =
        std::find_if(last.begin(), last.end(),
                     [&](const auto& e) { return e.first == name; });
    if (kept != last.end()) {
      kept->second = text;
    } else {
      last.emplace_back(name, text);
    }
    // A copy: a session that fails its write leaves the set.
    for (const auto& session :
         std::vector(state->sessions.begin(), state->sessions.end())) {
      session->push(name, text);
    }
  });
}

void ViewServer::stop() {
  State& s = *state_;
  if (!s.thread.joinable()) return;
  net::post(s.io, [&s] {
    s.stopping = true;
    beast::error_code ec;
    s.acceptor.close(ec);
    // The pages get a moment to take their last event; the server ends
    // when the last has it, or when the moment is over.
    s.ending.emplace(s.io, std::chrono::seconds(1));
    s.ending->async_wait([&s](beast::error_code) { s.io.stop(); });
    for (const auto& session :
         std::vector(s.sessions.begin(), s.sessions.end())) {
      session->finish();
    }
    if (s.sessions.empty()) s.ending->cancel();
  });
  s.thread.join();
  s.sessions.clear();
}

}  // namespace scenc::tools
