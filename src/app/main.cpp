// tavenro-settings: the maintenance tool beside the Tavenro product.

#include "app/StartUp.h"

int main(int argc, char** argv)
{
    return runApplication(argc, argv);
}
