// The HTTP server of `scenarioc serve`: one page and one stream of events,
// on the loopback interface only. It answers nothing but GET or HEAD of
// "/" (the page) and "/events" (server-sent events: each new compile, and
// what the server has to say), and only to requests addressed to itself:
// a Host other than 127.0.0.1 or localhost at its port is refused, so that
// a web site whose name is made to point at this machine cannot read it.
// It serves what it is given; it reads no file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace scenc::tools {

class ViewServer {
 public:
  // Listens on 127.0.0.1:`port`, a port the system chooses when 0, and
  // answers on a thread of its own. Throws ToolError when it cannot listen.
  explicit ViewServer(std::uint16_t port);
  ~ViewServer();
  ViewServer(const ViewServer&) = delete;
  ViewServer& operator=(const ViewServer&) = delete;

  std::uint16_t port() const;
  // "http://127.0.0.1:PORT/".
  std::string url() const;

  // The page "/" answers with from now on.
  void set_page(std::string html);
  // Sends the event `name` with `data` to every page listening. The last
  // event of each name is also sent to each page that begins to listen
  // later; a page that has not yet taken an event of a name gets only the
  // newest.
  void send(const std::string& name, const std::string& data);
  // The pages listening now.
  int listeners() const;
  // Sends every page listening the event "end", and stops answering.
  void stop();

  class State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace scenc::tools
