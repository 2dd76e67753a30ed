#pragma once

// Registers the program's built-in resources (logo, sample letters, icons); safe to call more than once.
void InitResources();
