#include "base/core/VLRandom.h"

#include <atomic>
#include <cstdlib>

#include "base/core/VLStdRuntime.h"

static std::atomic<bool> s_bSeeded(false);

CVLRandom::~CVLRandom()
{
}

void CVLRandom::Seed(unsigned int nSeed)
{
    srand(nSeed);
    s_bSeeded = true;
}

int CVLRandom::GetRandom()
{
    if (!s_bSeeded.exchange(true))
        srand(static_cast<unsigned int>(VLStdTime(nullptr)));
    return rand();
}
