// Mixing under Wine with the rig's null sink: play volume, pan, fades, the
// master volume and the finished events of whole plays.
#include "DSoundFixture.h"
