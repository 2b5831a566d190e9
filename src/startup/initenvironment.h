#pragma once
// Works out where everything lives and whether the program must work offline; fills gEnv.
void InitEnvironment();
