// tavenro-settings: the maintenance tool beside the Tavenro product.

#include "app/StartUp.h"

int main(int, char** argv)
{
    // The tool takes nothing from its command line, Qt's own options (-style,
    // -reverse, -platform and the like) included: it always looks and behaves
    // as designed, however it was started.
    static int fixedArgc = 1;
    static char* fixedArgv[] = {argv[0], nullptr};
    return runApplication(fixedArgc, fixedArgv);
}
