#pragma once

// Heap allocations made by this test program so far (it replaces the global operator new).
long AllocationCount();
