#include "io/ByteStream.h"

namespace gw {

void ByteWriter::line(std::string_view s) {
    static constexpr char kSpecial[] = {'\r', '\n', '\0'};
    if (s.find_first_of(std::string_view(kSpecial, 3)) == std::string_view::npos) {
        out_.append(s);
        out_.append("\r\n", 2);
        return;
    }
    for (char c : s) {
        if (c == '\r') continue;
        out_.push_back(c == '\n' || c == '\0' ? ' ' : c);
    }
    out_.push_back('\r');
    out_.push_back('\n');
}

std::string ByteReader::line() {
    std::string s;
    const std::size_t start = pos_;
    std::size_t end = start;
    while (end < d_.size() && d_[end] != '\n' && d_[end] != '\0') ++end;
    s.reserve(end - start);
    for (std::size_t i = start; i < end; ++i)
        if (d_[i] != '\r') s.push_back(d_[i]);
    pos_ = end < d_.size() ? end + 1 : end;
    return s;
}

}  // namespace gw
