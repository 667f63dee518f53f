#include "datafile/dfbridge.h"

#include "core/errors.h"
#include "core/strstack.h"
#include "datafile/record.h"

namespace rt::dfbridge {
namespace {

ErrCode missing(const char* what) {
    ErrorDetail(err::INTERNALERROR, StrFromTerminated(what));
    ErrorRecordSet(1, ctx::DataFile, err::INTERNALERROR, 0);
    return err::INTERNALERROR;
}

}  // namespace

bool hasDuplicates(std::uint16_t, std::uint16_t, StrDesc) { return false; }

ErrCode startMultiRead(std::uint16_t, StrDesc, std::uint16_t) { return missing("startMultiRead"); }

void endMultiRead(std::uint16_t table) {
    if (DataFileCtrl* c = controlBlock(table)) c->multiSlot = c->multiRow = -1;
}

ErrCode locateInMultiRead(std::uint16_t) { return err::OK; }

ErrCode updateCurrentDuplicate(std::uint16_t, std::uint16_t, StrDesc) { return missing("updateCurrentDuplicate"); }

ErrCode deleteCurrentDuplicate(std::uint16_t, std::uint16_t, StrDesc) { return missing("deleteCurrentDuplicate"); }

StrDesc translateCondition(StrDesc condition) {
    if (condition.isError()) return condition;
    return StrPush(StrView("")) ? StrErrorValue(err::OUTOFMEMORY) : StrTop();
}

}  // namespace rt::dfbridge
