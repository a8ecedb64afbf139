#include <malloc.h>

#include "platform/FreedMemory.h"

namespace capmill::platform {

void ReturnFreedMemory() { malloc_trim(0); }

}  // namespace capmill::platform
