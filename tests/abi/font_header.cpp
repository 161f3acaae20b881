// Compiles Font.h on its own: the header is self-contained and its layout
// assertions hold under the real compiler.
#include "Font.h"
