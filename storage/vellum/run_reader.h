// RunReader: reads the bytes that a run-length packed stretch stands for
// without unpacking it whole: in order, skipping what is not wanted, and on
// again later from a position saved before. So a page whose entries are
// packed is walked once to find where each entry starts, and an entry is
// unpacked only when it is asked for. A plain stretch reads the same way.
//
// The packed form: a count of literal bytes (base 128, seven bits a byte,
// low bits first) and those bytes, then a count of repeats of the last byte
// written, alternately, until the stretch's length is reached. Each count
// is checked as it is met: 522 for a literal count past the end of the
// stretch or of the input, or input cut short; 530 for a repeat count past
// the end of the stretch, or a repeat before any byte.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "storage/vellum/consistency.h"

namespace ck::vellum {

// Reads a base-128 count at *pos; false when the input ends or the count is
// absurd (more than five bytes).
inline bool ReadRunCount(std::string_view in, size_t* pos, uint64_t* value) {
  // Counts below 0x80 (one byte) and below 0x4000 (two) are by far the most.
  if (*pos + 2 <= in.size()) {
    const auto b0 = static_cast<uint8_t>(in[*pos]);
    if (b0 < 0x80) {
      *value = b0;
      *pos += 1;
      return true;
    }
    const auto b1 = static_cast<uint8_t>(in[*pos + 1]);
    if (b1 < 0x80) {
      *value = (b0 & 0x7Fu) | uint64_t{b1} << 7;
      *pos += 2;
      return true;
    }
  }
  uint64_t v = 0;
  for (int shift = 0; shift < 35; shift += 7) {
    if (*pos >= in.size()) return false;
    const auto b = static_cast<uint8_t>(in[(*pos)++]);
    v |= uint64_t{b & 0x7Fu} << shift;
    if ((b & 0x80) == 0) {
      *value = v;
      return true;
    }
  }
  return false;
}

// Copies n bytes; the few bytes a key piece usually holds without a call
// (two overlapping moves), as a call would cost more than the bytes.
inline void CopyBytes(char* out, const char* in, size_t n) {
  if (n > 16) {
    std::memcpy(out, in, n);
  } else if (n >= 8) {
    uint64_t a, b;
    std::memcpy(&a, in, 8);
    std::memcpy(&b, in + n - 8, 8);
    std::memcpy(out, &a, 8);
    std::memcpy(out + n - 8, &b, 8);
  } else if (n >= 4) {
    uint32_t a, b;
    std::memcpy(&a, in, 4);
    std::memcpy(&b, in + n - 4, 4);
    std::memcpy(out, &a, 4);
    std::memcpy(out + n - 4, &b, 4);
  } else if (n > 0) {
    out[0] = in[0];
    out[n / 2] = in[n / 2];
    out[n - 1] = in[n - 1];
  }
}

// Where a RunReader stands.
struct RunPosition {
  uint32_t in = 0;    // the next byte of the input to read
  uint32_t out = 0;   // bytes read so far
  uint32_t left = 0;  // bytes left of the current piece
  char fill = 0;      // the byte the current (or next) repeat piece repeats
  // The current piece repeats fill (so the next one is a literal). A
  // packed stretch starts as after an empty repeat piece.
  bool repeat = false;
};

class RunReader {
 public:
  // The n bytes of a packed stretch (packed), or the n bytes of in itself.
  RunReader(std::string_view in, size_t n, bool packed) : in_(in), n_(n), repeat_(packed) {
    if (!packed) left_ = static_cast<uint32_t>(n);
  }
  // Goes on from a position an earlier reader of the same stretch reached.
  RunReader(std::string_view in, size_t n, const RunPosition& at)
      : in_(in), n_(n), at_(at.in), out_(at.out), left_(at.left), fill_(at.fill),
        repeat_(at.repeat) {}

  RunPosition position() const { return {at_, out_, left_, fill_, repeat_}; }
  size_t remaining() const { return n_ - out_; }

  // The reader's state is kept in scalar members and everything a walk
  // over a page calls per entry is inlined, so that a reader local to a
  // loop stays in registers.
  // REQUIRES for the three below: count <= remaining().
  // Copies the next count bytes to out.
  [[gnu::always_inline]] void Read(char* out, size_t count) {
    while (count > 0) {
      if (left_ == 0) NextPiece();
      const size_t take = std::min<size_t>(count, left_);
      if (repeat_) {
        std::memset(out, fill_, take);
      } else {
        CopyBytes(out, in_.data() + at_, take);
        at_ += static_cast<uint32_t>(take);
      }
      Advance(take);
      out += take;
      count -= take;
    }
  }
  [[gnu::always_inline]] uint8_t ReadByte() {
    if (left_ == 0) NextPiece();
    const char c = repeat_ ? fill_ : in_[at_++];
    Advance(1);
    return static_cast<uint8_t>(c);
  }
  [[gnu::always_inline]] void Skip(size_t count) {
    if (count <= left_) {
      if (!repeat_) at_ += static_cast<uint32_t>(count);
      Advance(count);
      return;
    }
    // The rest of the current piece, then whole pieces (the walk over a
    // page's tails spends its time here), then part of one.
    count -= left_;
    size_t pos = at_ + (repeat_ ? 0 : left_);
    size_t out = out_ + left_;
    bool repeat = !repeat_;
    char fill = fill_;
    uint64_t piece = 0;
    while (true) {
      const bool ok = ReadRunCount(in_, &pos, &piece);
      if (!repeat) {
        if (!ok || piece > n_ - out || piece > in_.size() - pos) ConsistencyStop(522);
        if (piece > 0) fill = in_[pos + piece - 1];
      } else if (!ok || piece > n_ - out || (piece > 0 && out == 0)) {
        ConsistencyStop(530);
      }
      if (piece >= count) break;
      count -= piece;
      out += piece;
      if (!repeat) pos += piece;
      repeat = !repeat;
    }
    at_ = static_cast<uint32_t>(pos + (repeat ? 0 : count));
    out_ = static_cast<uint32_t>(out + count);
    left_ = static_cast<uint32_t>(piece - count);
    fill_ = fill;
    repeat_ = repeat;
  }
  // Reads to the end, checking the rest of the stretch.
  void Finish() { Skip(remaining()); }

 private:
  void Advance(size_t count) {
    left_ -= static_cast<uint32_t>(count);
    out_ += static_cast<uint32_t>(count);
  }

  // Starts the next piece that holds bytes. REQUIRES: left_ == 0 and bytes
  // remain (so the stretch is packed: a plain one is one piece).
  [[gnu::always_inline]] void NextPiece() {
    do {
      size_t pos = at_;
      uint64_t count = 0;
      const bool ok = ReadRunCount(in_, &pos, &count);
      const size_t room = n_ - out_;
      if (repeat_) {  // after a repeat (or at the start) comes a literal
        if (!ok || count > room || count > in_.size() - pos) ConsistencyStop(522);
        // A repeat after this literal repeats its last byte.
        if (count > 0) fill_ = in_[pos + count - 1];
      } else if (!ok || count > room || (count > 0 && out_ == 0)) {
        ConsistencyStop(530);
      }
      at_ = static_cast<uint32_t>(pos);
      left_ = static_cast<uint32_t>(count);
      repeat_ = !repeat_;
    } while (left_ == 0);
  }

  std::string_view in_;
  size_t n_;
  // The position, as in RunPosition.
  uint32_t at_ = 0;
  uint32_t out_ = 0;
  uint32_t left_ = 0;
  char fill_ = 0;
  bool repeat_ = false;
};

}  // namespace ck::vellum
