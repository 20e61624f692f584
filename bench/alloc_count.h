// Heap allocations made anywhere in this process since it started: ours, the
// C++ runtime's and those of any module loaded into it.
#pragma once

long long AllocationCount();
