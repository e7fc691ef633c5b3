#include "untImgProc.h"
