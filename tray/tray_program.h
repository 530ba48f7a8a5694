// The tray program's entry: start-up, the hidden window and its message
// loop. Returns the process's exit code.
#pragma once

namespace zep {

int RunTrayProgram();

}  // namespace zep
