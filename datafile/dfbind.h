// The data-file layer's place in the runtime: the field references of the
// evaluator ('FIELD{FILE}' read and assigned) are bound to it here, and its
// state is released at shutdown.
#pragma once

#include "core/errcode.h"

namespace rt {

// Installs the field access of the evaluator. Called by start-up once the
// evaluator is started.
void dataFileBind();

// Releases what the data files hold: multi-reads and scan pages, disk
// handles, control blocks, record buffers and the file-set stacks; the
// binding of dataFileBind is removed. Called at shutdown before the SQL
// results and the runtime core are released.
void dataFilesShutdown();

}  // namespace rt
