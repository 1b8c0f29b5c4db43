// The messages of a job process to its parent (sweep/job_messages.hpp).
#include "sweep/job_messages.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <type_traits>

namespace {

// The fields of a point, in order, for both directions: `coder` puts or
// gets each one.  A field added to SweepPoint belongs here too (the tests
// compare the tables of one job and of several).
template <class Coder, class Point>
void point_fields(Coder& coder, Point& p) {
  coder.field(p.pass);
  coder.field(p.results);
  coder.field(p.reference.valid);
  coder.field(p.reference.why);
  coder.field(p.reference.mw);
  coder.field(p.limits);
  coder.field(p.stack.valid);
  coder.field(p.stack.why);
  coder.field(p.stack.c11);
  coder.field(p.stack.c13);
  coder.field(p.stack.c13h);
  coder.field(p.stack.c33);
  coder.field(p.stack.c55);
  coder.field(p.refined);
  coder.field(p.mw_half);
  coder.field(p.tensor);
  coder.field(p.stiffness);
  coder.field(p.stiffness_half);
  coder.field(p.tensor_backward_error);
  coder.field(p.diffusion_cells);
}

struct Encoder {
  std::string bytes;
  template <class T>
  void field(const T& value) {
    static_assert(std::is_trivially_copyable_v<T>, "a field travels as its bytes");
    bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
  }
  void field(const std::string& text) {
    field(static_cast<std::uint64_t>(text.size()));
    bytes += text;
  }
};

struct Decoder {
  std::string_view rest;
  bool good = true;
  template <class T>
  void field(T& value) {
    static_assert(std::is_trivially_copyable_v<T>, "a field travels as its bytes");
    if (!good || rest.size() < sizeof value) {
      good = false;
      return;
    }
    std::memcpy(&value, rest.data(), sizeof value);
    rest.remove_prefix(sizeof value);
  }
  void field(std::string& text) {
    std::uint64_t size = 0;
    field(size);
    if (!good || rest.size() < size) {
      good = false;
      return;
    }
    text.assign(rest.substr(0, size));
    rest.remove_prefix(size);
  }
  bool whole() const { return good && rest.empty(); }
};

}  // namespace

std::string encode_point(const SweepPoint& point) {
  Encoder out;
  point_fields(out, point);
  return out.bytes;
}

bool decode_point(std::string_view bytes, SweepPoint& point) {
  Decoder in{bytes};
  point_fields(in, point);
  return in.whole();
}

std::string encode_stop(const StopRun& stop) {
  Encoder out;
  out.field(stop.code);
  out.field(stop.message);
  out.field(stop.on_error_stream);
  return out.bytes;
}

bool decode_stop(std::string_view bytes, StopRun& stop) {
  Decoder in{bytes};
  in.field(stop.code);
  in.field(stop.message);
  in.field(stop.on_error_stream);
  return in.whole();
}

bool write_all(int fd, const void* data, std::size_t size) {
  const char* at = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = ::write(fd, at, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    at += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

std::size_t read_all(int fd, void* data, std::size_t size) {
  char* at = static_cast<char*>(data);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = ::read(fd, at + done, size - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}
