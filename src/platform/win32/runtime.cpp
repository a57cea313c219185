// runtime.cpp: takes the place of the one piece of the static C++ runtime the game has no use for.
#include <cstdlib>

#ifdef __GLIBCXX__
// GCC's runtime ends the program on an uncaught exception through this handler, which by default
// prints the exception's type, demangled, to a standard error that a windowed program does not
// have; its demangler alone was 45 kB of the exe. The game throws nothing on purpose, so this
// ends as the default handler does in the end, without the printing.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
#endif
