#include "datafile/dfbind.h"

#include "core/strarea.h"
#include "data/dictionary.h"
#include "datafile/datafile.h"
#include "datafile/filesets.h"
#include "lang/eval.h"

namespace rt {

void dataFileBind() {
    FieldAccess access;
    access.read = &fieldRefRead;
    access.write = &fieldRefWrite;
    evalSetFieldAccess(access);
}

void dataFilesShutdown() {
    if (AreaReady()) {
        for (std::uint16_t t = 1; t <= tableCount() && t <= DICT_TABLES; ++t) closeFile(t);
        AreaTruncate(area::FILESETS, 0);
        recordBuffersClear();
    }
    fileSetsReset();
    fieldRefForget();
    evalSetFieldAccess(FieldAccess{});
}

}  // namespace rt
