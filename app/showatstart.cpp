#include "app/showatstart.h"

// Shown unless the launch check says otherwise.
int showAtStart = 1;
