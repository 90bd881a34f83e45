// The code generator: walks the checked tree of each routine once and emits bytecode
// with its line table into Program::routines. Operands are slots, global indexes,
// routine and native indexes, constants; a break, continue or exit that leaves a try
// block emits the handler pops and the finally code on its way out.
#pragma once

#include "engine/program.h"

namespace velmoro::script {

void generateCode(Engine::Program& prog);

}  // namespace velmoro::script
