// Protection against planted DLLs, first act of every program of the product.
#pragma once

// Keeps the current directory and PATH out of every later library search.
void HardenDllSearch();
