// The primitive encodings shared by board files and IC description records: byte, little-endian
// int32, text line (bytes, then CR LF) and continuation-byte list (1 before each element, 0 after
// the last).
//
// ByteWriter appends to a string and never fails. ByteReader reads from bytes it does not own and
// never reads past their end: every read answers false once the data runs out, and the first
// failure is remembered (failed()) so a caller can stop at its next check. Integers are assembled
// byte by byte, so the result is the same on every host.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace gw {

class ByteWriter {
public:
    explicit ByteWriter(std::string& out) : out_(out) {}

    // Only the low 8 bits of `v` are stored.
    void byte(int v) { out_.push_back(static_cast<char>(static_cast<uint8_t>(v & 0xFF))); }
    void i32(int32_t v) {
        const uint32_t u = static_cast<uint32_t>(v);
        char b[4] = {static_cast<char>(u & 0xFF), static_cast<char>((u >> 8) & 0xFF),
                     static_cast<char>((u >> 16) & 0xFF), static_cast<char>((u >> 24) & 0xFF)};
        out_.append(b, 4);
    }
    // A line cannot hold a line feed or a 0 byte (either would end it early on reading and shift
    // everything after it), so both are written as spaces; CR bytes would be dropped on reading
    // anyway and are left out. Every other byte is stored as it is.
    void line(std::string_view s);
    void more() { out_.push_back('\1'); }  // another list element follows
    void end() { out_.push_back('\0'); }   // the list is closed

    std::string& data() { return out_; }

private:
    std::string& out_;
};

class ByteReader {
public:
    explicit ByteReader(std::string_view data) : d_(data) {}

    bool byte(uint8_t& v) {
        if (pos_ >= d_.size()) return fail();
        v = static_cast<uint8_t>(d_[pos_++]);
        return true;
    }
    bool i32(int32_t& v) {
        if (d_.size() - pos_ < 4) return fail();
        uint32_t u = 0;
        for (int i = 3; i >= 0; --i) u = (u << 8) | static_cast<uint8_t>(d_[pos_ + i]);
        pos_ += 4;
        v = static_cast<int32_t>(u);
        return true;
    }
    // Bytes up to the first LF or 0 byte (consumed, not kept) or the end of the data; CR bytes are
    // dropped. At the end of the data this is an empty line, not an error.
    std::string line();
    // Reads the continuation byte before a list element: true in `more` for another element.
    bool next(bool& more) {
        uint8_t b = 0;
        if (!byte(b)) return false;
        more = b != 0;
        return true;
    }

    std::size_t pos() const { return pos_; }
    std::size_t remaining() const { return d_.size() - pos_; }
    bool atEnd() const { return pos_ >= d_.size(); }
    // The data ran out during some read.
    bool failed() const { return failed_; }

private:
    bool fail() {
        failed_ = true;
        pos_ = d_.size();
        return false;
    }

    std::string_view d_;
    std::size_t pos_ = 0;
    bool failed_ = false;
};

}  // namespace gw
