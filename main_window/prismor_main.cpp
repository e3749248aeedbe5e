#include "run_prismor.h"

int main()
{
    return runPrismor();
}
