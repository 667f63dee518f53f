// TEMPORARY: the evaluator's narrow access to the variable store, the number
// conversions, the trace log and the file layer, served by a stand-in until
// those modules are on the main branch. Deleted when they are bound.
#pragma once
#include <cstdint>

#include "core/strdesc.h"

namespace rt::evb {

std::uint16_t numScale();
int precision();
int sysTest(std::uint16_t pos, std::uint16_t mask);
ErrCode varGet(StrDesc name);
ErrCode varSet(StrDesc name);
ErrCode numPush(std::int64_t v);
bool numRead(StrDesc v, std::int64_t& out);
std::int64_t textToNum(StrDesc text);
StrDesc numToText(std::int64_t raw, int decimals);
StrDesc accumNames();

struct VarArg {
    bool text = false;
    std::int64_t num = 0;
    StrDesc str{"", 0};
};
ErrCode arrayGet(StrDesc name, const VarArg* args, std::uint16_t count);
ErrCode arraySet(StrDesc name, const VarArg* args, std::uint16_t count, StrDesc value);
ErrCode arrayCreate(StrDesc name, const VarArg* args, std::uint16_t count);
bool arrayExists(StrDesc name);
using HostHook = ErrCode (*)(StrDesc name, std::uint16_t mode, void* arg);
HostHook hookGet(std::uint16_t slot);
ErrCode LogLine(StrDesc text, std::uint16_t flags);

void reset();

}  // namespace rt::evb
