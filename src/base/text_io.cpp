#include "base/text_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace tolvi {

namespace {

bool isSeparator(char c) {
    return c == ' ' || c == ',' || c == '\t' || c == '\r' || c == '\n';
}
bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

// from_chars takes no leading "+"; drop one, unless a "-" follows it ("+-1" is not a number).
std::string_view withoutPlus(std::string_view s) {
    if (s.size() > 1 && s[0] == '+' && s[1] != '-') s.remove_prefix(1);
    return s;
}

[[noreturn]] void throwNotANumber(std::string_view text, std::string_view where, const char* what) {
    // Control characters (a NUL above all, which would end the message there) are shown as "?".
    std::string shown(text.substr(0, 60));
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    std::string message = "\"" + shown + "\" is not " + what;
    if (!where.empty()) message += " (" + std::string(where) + ")";
    throw NumberError(message);
}

}  // namespace

int splitLine(std::string_view line, int maxCount, TokenTable& table) {
    std::string_view s = line.substr(0, MAX_TOKEN_CHARS);
    while (!s.empty() && s.front() == ';') s.remove_prefix(1);
    if (size_t semi = s.find(';'); semi != std::string_view::npos) s = s.substr(0, semi);
    int limit = maxCount < MAX_TOKENS ? maxCount : MAX_TOKENS;
    int count = 0;
    size_t i = 0;
    while (count < limit) {
        while (i < s.size() && isSeparator(s[i])) ++i;
        if (i >= s.size()) break;
        size_t start = i;
        while (i < s.size() && !isSeparator(s[i])) ++i;
        table.token[count++].assign(s.substr(start, i - start));
    }
    table.count = count;
    return count;
}

bool isHashComment(std::string_view line) {
    size_t first = line.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos && line[first] == '#';
}

LineList readLines(const std::string& path, int maxLines) {
    LineList result;
    FILE* f = std::fopen(path.c_str(), "r");
    if (!f) {
        result.status = -1;
        return result;
    }
    char buf[100];  // 99 characters and the terminating zero
    int lineNo = 1;
    while (std::fgets(buf, sizeof buf, f)) {
        std::string_view piece(buf, std::strlen(buf));
        int pieceLine = lineNo;
        if (!piece.empty() && piece.back() == '\n') ++lineNo;
        if (trimBlanks(piece).empty()) continue;
        if (static_cast<int>(result.lines.size()) >= maxLines) {
            result.overflow = true;
            break;
        }
        if (piece.back() == '\n') piece.remove_suffix(1);
        result.lines.push_back({std::string(piece), pieceLine});
    }
    std::fclose(f);
    return result;
}

double parseReal(std::string_view text, std::string_view where) {
    std::string_view digits = withoutPlus(trimBlanks(text));
    std::string_view body = digits;
    if (!body.empty() && body.front() == '-') body.remove_prefix(1);
    // from_chars would take "inf", "nan" and a second sign; a number starts with a digit or "."
    if (body.empty() ||
        !(std::isdigit(static_cast<unsigned char>(body.front())) || body.front() == '.'))
        throwNotANumber(text, where, "a number");
    if (body.size() > 1 && body[0] == '0' && (body[1] == 'x' || body[1] == 'X'))
        throwNotANumber(text, where, "a number");
    double value = 0.0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || end != digits.data() + digits.size() || !std::isfinite(value))
        throwNotANumber(text, where, "a number");
    return value;
}

void parseRealPair(std::string_view text, std::string_view where, bool secondOptional, double& a,
                   double& b) {
    size_t colon = text.find(':');
    if (colon == std::string_view::npos && !secondOptional)
        throwNotANumber(text, where, "a pair of numbers A:B");
    a = parseReal(text.substr(0, colon), where);
    if (colon != std::string_view::npos) b = parseReal(text.substr(colon + 1), where);
}

int parseInt(std::string_view text, std::string_view where) {
    std::string_view s = withoutPlus(trimBlanks(text));
    std::string_view body = s;
    if (!body.empty() && body.front() == '-') body.remove_prefix(1);
    if (body.empty() || !std::isdigit(static_cast<unsigned char>(body.front())))
        throwNotANumber(text, where, "an integer");
    int value = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size()) throwNotANumber(text, where, "an integer");
    return value;
}

int parseTruncated(std::string_view text, std::string_view where) {
    double v = std::trunc(parseReal(text, where));
    if (v < static_cast<double>(INT_MIN) || v > static_cast<double>(INT_MAX))
        throwNotANumber(text, where, "an integer");
    return static_cast<int>(v);
}

std::string_view LineFields::text(int i) const {
    if (i >= count_) {
        std::string message = "Missing number: " + std::to_string(i + 1) + " fields expected, " +
                              std::to_string(count_) + " found";
        if (!where_.empty()) message += " (" + where_ + ")";
        throw NumberError(message);
    }
    return table_.token[i].view();
}

std::string placeOf(const std::string& path, int lineNo) {
    return "in " + path + ", line " + std::to_string(lineNo);
}

CurveLines::CurveLines(const std::string& path, int maxFields, TokenTable& tokens)
    : in_(path), path_(path), maxFields_(maxFields), tokens_(tokens) {
    opened_ = static_cast<bool>(in_);
}

bool CurveLines::next() {
    while (opened_ && std::getline(in_, line_)) {
        ++lineNo_;
        if (isHashComment(line_)) continue;
        count_ = splitLine(line_, maxFields_, tokens_);
        if (count_ > 0) return true;
    }
    count_ = 0;
    return false;
}

std::string directoryOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string fileNameOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string programDirectory() {
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "./";
    return directoryOf(std::string(buf, static_cast<size_t>(n)));
}

Status writeFileSafely(const std::string& path, std::string_view content) {
    std::string temp = directoryOf(path) + "." + fileNameOf(path) + ".XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return {-1, "--->Error can not write " + path + ": " + std::strerror(errno),
                Outcome::WriteFailed};

    // mkstemp creates the file private to its owner; give it the usual permissions instead.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);

    bool ok = true;
    const char* p = content.data();
    size_t left = content.size();
    while (ok && left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            ok = false;
        else {
            p += n;
            left -= static_cast<size_t>(n);
        }
    }
    int savedErrno = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        savedErrno = errno;
    }
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        savedErrno = errno;
    }
    if (!ok) {
        std::remove(temp.c_str());
        return {-1, "--->Error can not write " + path + ": " + std::strerror(savedErrno),
                Outcome::WriteFailed};
    }
    return Status::success("--->OK");
}

std::string formatText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0) std::vsnprintf(out.data(), out.size() + 1, format, args);
    va_end(args);
    return out;
}

}  // namespace tolvi
