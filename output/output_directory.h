// Where a build puts the files it writes, by name. The scenario program backs
// it with its program directory, `scenarioc` with the directory an author
// names, tests with memory.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "output/byte_writer.h"

namespace scenc {

class OutputDirectory {
 public:
  using Fill = std::function<void(ByteWriter&)>;

  virtual ~OutputDirectory() = default;
  // Writes the file `name` whole with what `fill` puts into the writer,
  // replacing any earlier file of that name. A failure throws FileError.
  virtual void write(const std::string& name, const Fill& fill) = 0;
};

// A file operation that failed: the file's name and the system's reason.
struct FileError {
  std::string file;
  std::string reason;
};

class MemoryDirectory final : public OutputDirectory {
 public:
  void write(const std::string& name, const Fill& fill) override {
    StringSink sink;
    ByteWriter out(sink);
    fill(out);
    out.flush();
    files[name] = std::move(sink.bytes);
    order.push_back(name);
  }
  std::map<std::string, std::string> files;
  std::vector<std::string> order;
};

}  // namespace scenc
