// Prismor's start-up as its own main() runs it; the probe linked beside it times it.

#include <run_prismor.h>

int main()
{
    return runPrismor();
}
