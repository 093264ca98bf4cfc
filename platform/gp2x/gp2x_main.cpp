// gp2x_main.cpp - the handheld's process entry: no options, straight into
// the framework's entry steps.
#include "framework/vexa.h"

int main() { return VexaProcessMain(); }
