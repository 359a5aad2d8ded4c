#include "metertable.h"
