// Cellarkey's program entry point.
#include <cstdio>

int main() {
  std::puts("Cellarkey");
  return 0;
}
