#include "lang/evalconsole.h"

#include <cinttypes>

#include "core/errors.h"
#include "core/errtext.h"
#include "core/strstack.h"
#include "lang/eval.h"
#include "lang/varstore.h"

namespace rt {
namespace {

constexpr const char* PROMPT = "> ";

// The line being evaluated: static, as the console runs once per process.
char g_line[CONSOLE_LINE_MAX];

// Writes the bytes of a string, escaping the backslash and control bytes.
void writeEscaped(std::FILE* out, StrDesc s) {
    static const char hex[] = "0123456789ABCDEF";
    for (std::uint16_t i = 0; i < s.len; ++i) {
        auto c = static_cast<unsigned char>(s.ptr[i]);
        if (c == '\\') {
            std::fputs("\\\\", out);
        } else if (c < 0x20) {
            char esc[4] = {'\\', 'x', hex[c >> 4], hex[c & 15]};
            std::fwrite(esc, 1, sizeof esc, out);
        } else {
            std::putc(c, out);
        }
    }
}

}  // namespace

ConsoleLine ConsoleReadLine(std::FILE* in, char* buf, std::size_t cap, std::size_t& len) {
    len = 0;
    bool tooLong = false;
    int c = std::getc(in);
    if (c == EOF) return ConsoleLine::End;
    while (c != EOF && c != '\n' && c != '\r') {
        if (len < cap) buf[len++] = static_cast<char>(c);
        else tooLong = true;
        c = std::getc(in);
    }
    if (c == '\r') {
        int next = std::getc(in);
        if (next != '\n' && next != EOF) std::ungetc(next, in);
    }
    return tooLong ? ConsoleLine::TooLong : ConsoleLine::Text;
}

void ConsoleWriteResult(std::FILE* out, ErrCode code, StrDesc value) {
    if (code == EVAL_NUMBER) {
        std::int64_t raw = 0;
        if (!value.isError() && numRead(value, raw)) std::fprintf(out, "N %" PRId64 "\n", raw);
        else std::fprintf(out, "E %u\n", static_cast<unsigned>(err::INTERNALERROR));
    } else if (code == EVAL_STRING && !value.isError()) {
        std::fputs("S ", out);
        writeEscaped(out, value);
        std::putc('\n', out);
    } else {
        std::fprintf(out, "E %u\n", static_cast<unsigned>(code == EVAL_STRING ? err::INTERNALERROR : code));
    }
}

void ConsoleRun(std::FILE* in, std::FILE* out, std::FILE* err, bool interactive, ConsoleEvalFn eval) {
    for (;;) {
        if (interactive) {
            std::fputs(PROMPT, err);
            std::fflush(err);
        }
        std::size_t len = 0;
        ConsoleLine read = ConsoleReadLine(in, g_line, sizeof g_line, len);
        if (read == ConsoleLine::End) break;

        StrMarkT m = StrMark();
        ErrCode code = err::STRINGTOOLONG;
        if (read == ConsoleLine::Text) code = eval(StrMake(g_line, len));
        StrDesc value = StrMark() != m ? StrTop() : StrErrorValue(err::INTERNALERROR);
        ConsoleWriteResult(out, code, value);
        std::fflush(out);
        if (interactive && code > EVAL_STRING) {
            StrRelease(m);
            StrDesc text = ErrorText(code);
            std::fprintf(err, "%.*s\n", static_cast<int>(text.isError() ? 0 : text.len), text.isError() ? "" : text.ptr);
        }
        StrRelease(m);
        ErrorRecordClear();
    }
    if (interactive) {
        std::fputc('\n', err);
        std::fflush(err);
    }
}

}  // namespace rt
