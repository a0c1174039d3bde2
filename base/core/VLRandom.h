// Pseudo-random numbers from the C library generator, seeded once from the
// clock unless Seed was called first.
#ifndef VLRANDOM_H
#define VLRANDOM_H

class CVLRandom
{
public:
    virtual ~CVLRandom();
    static void Seed(unsigned int nSeed);
    static int GetRandom();
};

#endif
