#pragma once
// The small programs started in our children's place or beside them,
// which must hold nothing of this process: the keeper of a tool's group
// (ChildProcessKeeper.h) and the start of a child that dies with its
// parent (DieWithParentMain.cpp). Each is the program its environment
// variable names, for programs that do not stand beside it (tests), else
// the one beside the running executable, where the build and the
// installation put it; without it, no child that needs it starts.

#include <string>

namespace lf {

struct HelperProgram {
    const char* name;
    // The environment variable that names the program instead.
    const char* variable;
};

inline constexpr HelperProgram kGroupKeeper{"layerflow-group-keeper", "LF_GROUP_KEEPER"};
inline constexpr HelperProgram kDieWithParent{"layerflow-die-with-parent", "LF_DIE_WITH_PARENT"};

// The helper's program, as found now.
std::string helperProgramPath(const HelperProgram& helper);

}  // namespace lf
