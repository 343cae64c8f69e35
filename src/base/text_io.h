#pragma once

#include <array>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"

namespace tolvi {

constexpr int MAX_TOKENS = 50;        // token slots of the tokenizer
constexpr int MAX_TOKEN_CHARS = 199;  // the tokenizer looks at no more of a line

// A short text of fixed capacity (N - 1 characters and a terminating zero). Identifiers and
// material names live in these, so that copying a layer entry never allocates.
template <int N>
struct FixedText {
    std::array<char, N> chars{};
    int length = 0;

    void assign(std::string_view s) {
        length = static_cast<int>(s.size() < N - 1 ? s.size() : N - 1);
        std::memcpy(chars.data(), s.data(), static_cast<size_t>(length));
        chars[length] = '\0';
    }
    std::string_view view() const { return {chars.data(), static_cast<size_t>(length)}; }
    const char* c_str() const { return chars.data(); }
    bool empty() const { return length == 0; }
};

struct TokenTable {
    std::array<FixedText<MAX_TOKEN_CHARS + 1>, MAX_TOKENS> token{};
    int count = 0;
};

// The one line tokenizer of every text-file reader. Looks at no more than 199 characters,
// skips a leading run of ";", cuts the rest at the first ";" (a comment), and splits it at
// blanks, commas, tabs and line ends. Stores at most min(maxCount, 50) tokens from slot 0 and
// returns their number; slots beyond it keep older tokens, so readers check the count.
int splitLine(std::string_view line, int maxCount, TokenTable& table);

// A header or comment line of a curve file: its first non-blank character is "#" (the header of
// ORSO reflectivity files, for instance). Curve readers skip such lines.
bool isHashComment(std::string_view line);

// A counted (non-blank) line of a parameter file with its 1-based physical line number.
struct CountedLine {
    std::string text;
    int lineNo = 0;
};

struct LineList {
    int status = 0;  // -1: the file cannot be opened
    std::vector<CountedLine> lines;
    bool overflow = false;  // more than maxLines counted lines were present
};

// Reads a parameter file: pieces of at most 99 characters (a longer physical line continues as
// the next counted line), blank lines skipped, at most maxLines counted lines kept.
LineList readLines(const std::string& path, int maxLines);

// Number conversion for every file and field, independent of the locale. Blanks around the
// number, a leading "+", a trailing "." and an exponent are accepted; empty text, trailing junk,
// "nan", "inf", hexadecimal and values outside the double range throw NumberError. `where`
// names the place for the message (e.g. "in x.par, line 14"); it may be empty.
double parseReal(std::string_view text, std::string_view where = {});
// "A:B" as two numbers; with `secondOptional` also "A" alone, which leaves b as it is. Throws
// NumberError (naming `where`) for anything else.
void parseRealPair(std::string_view text, std::string_view where, bool secondOptional, double& a,
                   double& b);
// An integer: no fraction, within the range of int.
int parseInt(std::string_view text, std::string_view where = {});
// A real truncated toward zero, which must lie within the range of int.
int parseTruncated(std::string_view text, std::string_view where = {});

// The fields of the line last split into a token table, with checked access: a field beyond the
// count is missing, and a missing field is an error rather than a token of an earlier line.
class LineFields {
  public:
    LineFields(const TokenTable& table, int count, std::string where)
        : table_(table), count_(count), where_(std::move(where)) {}
    int count() const { return count_; }
    std::string_view text(int i) const;
    double real(int i) const { return parseReal(text(i), where_); }
    int integer(int i) const { return parseInt(text(i), where_); }
    int truncated(int i) const { return parseTruncated(text(i), where_); }
    const std::string& where() const { return where_; }

  private:
    const TokenTable& table_;
    int count_;
    std::string where_;
};

// "in <file>, line <n>" for the messages of the readers.
std::string placeOf(const std::string& path, int lineNo);

// The points of a curve file (a measured curve, the Fourier page's curve), one line at a time:
// blank lines, comment-only lines and lines whose first non-blank character is "#" are skipped,
// every other line is split into at most maxFields tokens. Lines are numbered as an editor
// numbers them, from 1, counting every line of the file.
class CurveLines {
  public:
    CurveLines(const std::string& path, int maxFields, TokenTable& tokens);
    bool opened() const { return opened_; }
    // Moves to the next line that has fields; false at the end of the file.
    bool next();
    // The fields of the current line; their messages name the file and the line.
    LineFields fields() const { return LineFields(tokens_, count_, placeOf(path_, lineNo_)); }
    int count() const { return count_; }
    int lineNo() const { return lineNo_; }  // of the current line

  private:
    std::ifstream in_;
    std::string path_;
    int maxFields_;
    TokenTable& tokens_;
    bool opened_ = false;
    int lineNo_ = 0;
    int count_ = 0;
    std::string line_;
};

// The directory part of a path with its trailing separator ("" when there is none), and the
// file-name part after it.
std::string directoryOf(const std::string& path);
std::string fileNameOf(const std::string& path);

// The directory of the running executable, with its trailing separator.
std::string programDirectory();

// Writes a user file safely: the content goes to a temporary file beside the target, which is
// renamed over the target only when it is complete. On failure the old file stays untouched and
// the status (code -1) says what went wrong.
Status writeFileSafely(const std::string& path, std::string_view content);

// printf into a std::string (the file formats are printf formats).
std::string formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace tolvi
