#include "core/runtime_core.h"

#include "core/errors.h"
#include "core/files.h"
#include "core/memblocks.h"
#include "core/messages.h"
#include "core/strarea.h"
#include "core/strstack.h"

namespace rt {

ErrCode CoreInit() {
    ErrCode e = MemInit();
    if (e) return e;
    if ((e = StrStackInit())) return e;
    if ((e = AreaInit())) return e;
    ErrorRecordClear();
    MsgCatalogReset();  // its texts lived in the StringArea just made
    return err::OK;
}

std::uint16_t CoreShutdown() {
    std::uint16_t high = MemHighestUsed();
    if (high != 65535) {
        MemSlot s;
        MemResolve(high, s);
        if (s.tag != tag::STRINGAREA) return s.tag;
    }
    AreaShutdown();
    StrStackShutdown();
    MemShutdown();
    ErrorRecordSet(2, 0, 0, 0);
    return 0;
}

void CoreReset() {
    FileCloseAll();
    AreaShutdown();
    StrStackShutdown();
    MemShutdown();
    ErrorRecordSet(2, 0, 0, 0);
}

}  // namespace rt
