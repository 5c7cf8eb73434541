// SipHash-1-3 (one compression round per 8-byte word, three finalisation
// rounds), the keyed hash that orders a shuffle: each image's place in a
// cycle is the hash of its path relative to the walked folder.
//
// The hash is fed in pieces, so that a walk hashes each folder's part of the
// path once and every image only its own name: a copy of a folder's state,
// fed a name and finished, gives the hash of the whole path. Feeding "ab"
// then "c" gives the same state as feeding "abc".
#pragma once

#include <cstddef>
#include <cstdint>

namespace rotavue {

class SipHash13 {
 public:
  // The 128-bit key of the hash: the 64-bit key K, then 64 zero bits.
  explicit SipHash13(std::uint64_t key)
      : v0_(key ^ 0x736f6d6570736575ULL),
        v1_(0x646f72616e646f6dULL),
        v2_(key ^ 0x6c7967656e657261ULL),
        v3_(0x7465646279746573ULL) {}

  void feed(const char* bytes, std::size_t size) {
    length_ += size;
    std::size_t i = 0;
    // Complete the word that the last piece left open.
    while (pending_ != 0 && i < size) take(static_cast<unsigned char>(bytes[i++]));
    for (; i + 8 <= size; i += 8) compress(wordAt(bytes + i));
    while (i < size) take(static_cast<unsigned char>(bytes[i++]));
  }

  // The hash of everything fed; the state itself is left as it was.
  std::uint64_t finish() const {
    SipHash13 last = *this;
    const std::uint64_t word = last.partial_ | (static_cast<std::uint64_t>(length_ & 0xFF) << 56);
    last.compress(word);
    last.v2_ ^= 0xFF;
    last.round();
    last.round();
    last.round();
    return last.v0_ ^ last.v1_ ^ last.v2_ ^ last.v3_;
  }

 private:
  static std::uint64_t rotate(std::uint64_t value, int bits) {
    return (value << bits) | (value >> (64 - bits));
  }

  // Eight bytes as a little-endian word, on any machine.
  static std::uint64_t wordAt(const char* bytes) {
    std::uint64_t word = 0;
    for (int b = 7; b >= 0; --b) word = (word << 8) | static_cast<unsigned char>(bytes[b]);
    return word;
  }

  void round() {
    v0_ += v1_;
    v1_ = rotate(v1_, 13) ^ v0_;
    v0_ = rotate(v0_, 32);
    v2_ += v3_;
    v3_ = rotate(v3_, 16) ^ v2_;
    v0_ += v3_;
    v3_ = rotate(v3_, 21) ^ v0_;
    v2_ += v1_;
    v1_ = rotate(v1_, 17) ^ v2_;
    v2_ = rotate(v2_, 32);
  }

  void compress(std::uint64_t word) {
    v3_ ^= word;
    round();
    v0_ ^= word;
  }

  void take(unsigned char byte) {
    partial_ |= static_cast<std::uint64_t>(byte) << (8 * pending_);
    if (++pending_ == 8) {
      compress(partial_);
      partial_ = 0;
      pending_ = 0;
    }
  }

  std::uint64_t v0_, v1_, v2_, v3_;
  std::uint64_t partial_ = 0;  // the bytes of the word not yet complete
  unsigned pending_ = 0;       // how many there are
  std::size_t length_ = 0;
};

}  // namespace rotavue
