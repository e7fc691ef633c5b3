#include "untAlign.h"
