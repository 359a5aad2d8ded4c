#include "displaylayout.h"
