// Compiled, not run: code outside the engine that includes one of its private headers must
// not build. The test passes when the compiler stops at the engine's own refusal.
#include "platform/engine/paradox/KeyOrder.h"
