// The data-file layer's place in the runtime: the field references of the
// evaluator ('FIELD{FILE}' read and assigned) and the data-file functions of
// the language (FILEFIND, FILELOCATE, FILEREL, KEY$, IER, FN#FLEN, FN$FLDS,
// FILESEL of a set) are bound to it here, and its state is released at
// shutdown.
#pragma once

#include "core/errcode.h"

namespace rt {

// Installs the field access of the evaluator and the data-file functions.
// Called by start-up once the evaluator (with its function library) is started.
void dataFileBind();

// Releases what the data files hold: multi-reads and scan pages, disk
// handles, control blocks, record buffers and the file-set stacks; the
// bindings of dataFileBind are removed. Called at shutdown before the SQL
// results and the runtime core are released.
void dataFilesShutdown();

}  // namespace rt
