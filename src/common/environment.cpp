#include "common/environment.h"

CEnvironment gEnv;
