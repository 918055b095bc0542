#include "tessivar/log_text.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <system_error>

namespace tessivar {
namespace {

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

[[noreturn]] void throw_errno(const char* what, const std::filesystem::path& path) {
    throw std::system_error(errno, std::generic_category(),
                            std::string(what) + " " + path.string());
}

// Length of the valid UTF-8 sequence starting at s[i], or 0 when the bytes there do not decode.
// On failure `bad` is the number of bytes to drop: the lead byte and the continuation bytes
// accepted so far, so decoding resumes at the first byte that broke the sequence.
std::size_t utf8_sequence(const unsigned char* s, std::size_t i, std::size_t n, std::size_t& bad) {
    const unsigned char lead = s[i];
    std::size_t len;
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        len = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        len = 3;
        if (lead == 0xE0) lo = 0xA0;
        if (lead == 0xED) hi = 0x9F;  // no UTF-16 surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        len = 4;
        if (lead == 0xF0) lo = 0x90;
        if (lead == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
    } else {
        bad = 1;
        return 0;
    }
    for (std::size_t k = 1; k < len; ++k) {
        if (i + k >= n) {
            bad = k;
            return 0;
        }
        const unsigned char c = s[i + k];
        const bool ok = (k == 1) ? (c >= lo && c <= hi) : (c >= 0x80 && c <= 0xBF);
        if (!ok) {
            bad = k;
            return 0;
        }
    }
    return len;
}

// Offset of the first byte that is not plain ASCII or is a CR; text before it needs no work.
std::size_t clean_prefix(const char* s, std::size_t n) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
    // A byte is flagged when its high bit is set or when it is a CR (the zero-byte test on the
    // word XOR-ed with CRs). Four words at a time keep the loop branch-light.
    auto flagged = [&](std::size_t at) {
        std::uint64_t w;
        std::memcpy(&w, s + at, 8);
        const std::uint64_t cr = w ^ (kOnes * '\r');
        return (w | ((cr - kOnes) & ~cr)) & kHighs;
    };
    std::size_t i = 0;
    while (i + 32 <= n && (flagged(i) | flagged(i + 8) | flagged(i + 16) | flagged(i + 24)) == 0) {
        i += 32;
    }
    while (i + 8 <= n && flagged(i) == 0) i += 8;
    while (i < n && static_cast<unsigned char>(s[i]) < 0x80 && s[i] != '\r') ++i;
    return i;
}

}  // namespace

void decode_log_text(std::string& bytes) {
    const std::size_t n = bytes.size();
    std::size_t in = clean_prefix(bytes.data(), n);
    if (in == n) return;
    auto* s = reinterpret_cast<unsigned char*>(bytes.data());
    std::size_t out = in;
    // Dropped bytes are removed before line breaks are translated, so a CR and an LF that only
    // invalid bytes separated still form one CR LF break.
    bool pending_cr = false;
    while (in < n) {
        if (pending_cr && s[in] == '\n') {
            pending_cr = false;
            ++in;
            continue;
        }
        const std::size_t run = clean_prefix(bytes.data() + in, n - in);
        if (run > 0) {
            pending_cr = false;
            std::memmove(s + out, s + in, run);
            in += run;
            out += run;
            continue;
        }
        if (s[in] == '\r') {
            s[out++] = '\n';
            pending_cr = true;
            ++in;
            continue;
        }
        std::size_t bad = 0;
        const std::size_t len = utf8_sequence(s, in, n, bad);
        if (len == 0) {
            in += bad;
            continue;
        }
        pending_cr = false;
        std::memmove(s + out, s + in, len);
        out += len;
        in += len;
    }
    bytes.resize(out);
}

std::string_view read_log_text(const std::filesystem::path& path, std::string& buffer) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) throw_errno("cannot open", path);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) throw_errno("cannot read", path);
    // The size is only a first guess: the file may still grow while a poll appends to it.
    std::size_t capacity = st.st_size > 0 ? static_cast<std::size_t>(st.st_size) + 1 : 4096;
    buffer.resize(capacity);
    std::size_t used = 0;
    for (;;) {
        if (used == buffer.size()) buffer.resize(buffer.size() * 2);
        const ssize_t got = ::read(fd.get(), buffer.data() + used, buffer.size() - used);
        if (got < 0) {
            if (errno == EINTR) continue;
            throw_errno("cannot read", path);
        }
        if (got == 0) break;
        used += static_cast<std::size_t>(got);
    }
    buffer.resize(used);
    decode_log_text(buffer);
    return buffer;
}

std::vector<std::string> split_lines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t nl = text.find('\n', begin);
        const std::size_t end = nl == std::string_view::npos ? text.size() : nl + 1;
        lines.emplace_back(text.substr(begin, end - begin));
        begin = end;
    }
    return lines;
}

}  // namespace tessivar
