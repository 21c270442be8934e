#include "platform/fixups/binary_plist.hpp"

#include <cstring>
#include <vector>

namespace hv_fixups {

namespace {

constexpr std::size_t kHeader = 8;
constexpr std::size_t kTrailer = 32;

// Big-endian unsigned value of size bytes (size 1 to 8).
std::uint64_t read_be(const std::uint8_t* at, std::size_t size) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < size; ++i) value = (value << 8) | at[i];
  return value;
}

class Checker {
public:
  Checker(const std::uint8_t* bytes, std::size_t length) : bytes_(bytes), length_(length) {}

  bool check() {
    if (length_ < kHeader + 1 + kTrailer || std::memcmp(bytes_, "bplist", 6) != 0) return false;
    const std::uint8_t* trailer = bytes_ + length_ - kTrailer;
    offset_size_ = trailer[6];
    ref_size_ = trailer[7];
    const std::uint64_t count = read_be(trailer + 8, 8);
    const std::uint64_t top = read_be(trailer + 16, 8);
    const std::uint64_t table = read_be(trailer + 24, 8);
    if (offset_size_ < 1 || offset_size_ > 8 || ref_size_ < 1 || ref_size_ > 8) return false;
    const std::uint64_t area_end = length_ - kTrailer;
    // Every object takes at least one byte of the area before the table.
    if (count < 1 || top >= count || table < kHeader + 1 || table > area_end) return false;
    if (count > table - kHeader || count > (area_end - table) / offset_size_) return false;
    object_count_ = count;
    table_ = table;
    offsets_.resize(count);
    for (std::uint64_t i = 0; i < count; ++i) {
      const std::uint64_t offset = read_be(bytes_ + table + i * offset_size_, offset_size_);
      if (offset < kHeader || offset >= table) return false;
      offsets_[i] = offset;
    }
    state_.assign(count, kUnseen);
    return walk(top);
  }

private:
  enum State : std::uint8_t { kUnseen, kOpen, kDone };
  struct Frame {
    std::uint64_t object;
    std::uint64_t next;   // the next reference to visit
    std::uint64_t refs;   // where its references begin
    std::uint64_t count;  // how many references it has
  };

  bool in_area(std::uint64_t begin, std::uint64_t size) const {
    return begin <= table_ && size <= table_ - begin;
  }

  // A length of a data, string or container object: the low four bits, or (all four set)
  // the integer object that follows the marker. *at moves past what was read.
  bool length_of(std::uint8_t marker, std::uint64_t* at, std::uint64_t* length) const {
    if ((marker & 0x0F) != 0x0F) {
      *length = marker & 0x0F;
      return true;
    }
    if (!in_area(*at, 1)) return false;
    const std::uint8_t int_marker = bytes_[*at];
    if ((int_marker & 0xF0) != 0x10 || (int_marker & 0x0F) > 3) return false;
    const std::size_t size = std::size_t{1} << (int_marker & 0x0F);
    if (!in_area(*at + 1, size)) return false;
    *length = read_be(bytes_ + *at + 1, size);
    *at += 1 + size;
    return true;
  }

  // Checks one object's own bytes; a container's references are left to walk().
  bool check_object(std::uint64_t object, Frame* frame) const {
    std::uint64_t at = offsets_[object];
    const std::uint8_t marker = bytes_[at++];
    const std::uint8_t info = marker & 0x0F;
    std::uint64_t length = 0;
    *frame = Frame{object, 0, 0, 0};
    switch (marker & 0xF0) {
      case 0x00:
        return marker == 0x08 || marker == 0x09;  // false, true
      case 0x10:
        return info <= 3 && in_area(at, std::uint64_t{1} << info);
      case 0x20:
        return (info == 2 || info == 3) && in_area(at, std::uint64_t{1} << info);
      case 0x30:
        return marker == 0x33 && in_area(at, 8);
      case 0x40:
      case 0x50:
        return length_of(marker, &at, &length) && in_area(at, length);
      case 0x60:
        return length_of(marker, &at, &length) && length <= table_ / 2 && in_area(at, length * 2);
      case 0xA0:
      case 0xD0: {
        if (!length_of(marker, &at, &length)) return false;
        const std::uint64_t refs = (marker & 0xF0) == 0xD0 ? length * 2 : length;
        if (length > table_ || refs > table_ / ref_size_ || !in_area(at, refs * ref_size_)) return false;
        *frame = Frame{object, 0, at, refs};
        return true;
      }
      default:
        return false;  // sets, UIDs and unknown kinds are no property list
    }
  }

  bool walk(std::uint64_t top) {
    std::vector<Frame> stack;
    Frame frame;
    if (!check_object(top, &frame)) return false;
    state_[top] = kOpen;
    stack.push_back(frame);
    while (!stack.empty()) {
      Frame& current = stack.back();
      if (current.next == current.count) {
        state_[current.object] = kDone;
        stack.pop_back();
        continue;
      }
      const std::uint64_t index = current.next++;
      const std::uint64_t ref = read_be(bytes_ + current.refs + index * ref_size_, ref_size_);
      if (ref >= object_count_) return false;
      if (state_[ref] == kOpen) return false;  // a container inside itself
      if (state_[ref] == kDone) continue;
      if (!check_object(ref, &frame)) return false;
      if (frame.count == 0) {
        state_[ref] = kDone;
        continue;
      }
      if (stack.size() >= kMaxDepth) return false;
      state_[ref] = kOpen;
      stack.push_back(frame);
    }
    return true;
  }

  const std::uint8_t* bytes_;
  std::size_t length_;
  std::size_t offset_size_ = 0;
  std::size_t ref_size_ = 0;
  std::uint64_t object_count_ = 0;
  std::uint64_t table_ = 0;
  std::vector<std::uint64_t> offsets_;
  std::vector<State> state_;
};

}  // namespace

bool is_well_formed_binary_plist(const std::uint8_t* bytes, std::size_t length) {
  if (!bytes) return false;
  return Checker(bytes, length).check();
}

}  // namespace hv_fixups
