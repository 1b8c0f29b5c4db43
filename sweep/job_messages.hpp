// What a job process of the sweep sends its parent through its pipe
// (sweep/sweep_processes.hpp): one message per event, in the order of the
// events, each a fixed header and its bytes:
//
//   header   frequency i (int32), kind (int32), payload length (uint64)
//   begun    no payload: the job has taken frequency i
//   point    the SweepPoint of frequency i (encode_point)
//   stop     the StopRun that frequency i met (encode_stop)
//   out_of_memory  no payload: an allocation of frequency i was refused
//
// Both ends are the same program on the same machine (the job is a fork
// of its parent), so a number travels as its bytes; a string travels as
// its length (uint64) and then its characters.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/stop.hpp"
#include "sweep/one_frequency.hpp"

enum class JobMessage : std::int32_t { begun = 1, point = 2, stop = 3, out_of_memory = 4 };

struct JobMessageHeader {
  std::int32_t frequency = 0;
  JobMessage kind = JobMessage::begun;
  std::uint64_t length = 0;
};

// The fields of a point, in the order of SweepPoint's declaration.
std::string encode_point(const SweepPoint& point);
// False, with `point` undefined, when `bytes` are not exactly one point.
bool decode_point(std::string_view bytes, SweepPoint& point);

// The code, the message and where the message belongs.
std::string encode_stop(const StopRun& stop);
bool decode_stop(std::string_view bytes, StopRun& stop);

// The whole of `size` bytes written to, or read from, descriptor `fd`,
// across partial transfers and interrupted calls.  Write: false on any
// error (a parent gone: EPIPE).  Read: the bytes read, fewer than `size`
// only at the end of the stream or on an error.
bool write_all(int fd, const void* data, std::size_t size);
std::size_t read_all(int fd, void* data, std::size_t size);
