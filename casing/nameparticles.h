// Name rule: the particles that join a given name to a family name ("Ludwig van Beethoven",
// "Leonardo da Vinci", "José Ortega y Gasset", "Mohammed bin Salman") are written in small
// letters, but only between two words. As the first word the particle is the start of a name
// ("Van Morrison", "De Niro" where the given name is left out) and as the last it is no particle.
#pragma once

#include "casing/nameword.h"

class NameParticles
{
public:
    static constexpr qsizetype LongestWord = 6;

    static void Apply(NameWord &word)
    {
        if (!word.first && !word.last && word.length() <= LongestWord && IsParticle(word))
            word.lowerAscii(word.begin, word.end);
    }

private:
    static bool IsParticle(const NameWord &word);
};
