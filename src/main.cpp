#include "config/main_run_sequence.h"

int main(int argc, char** argv) {
    return koru::runMainSequence(argc, argv);
}
