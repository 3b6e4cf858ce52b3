// The particles: Dutch, German, French, Italian, Spanish, Portuguese, Arabic and Welsh. Each is
// written in small letters in the middle of a name by those who bear it, as in "Vincent van
// Gogh", "Ursula von der Leyen", "Karl-Theodor zu Guttenberg", "Charles de Gaulle", "Daphne du
// Maurier", "Bartolomé de las Casas", "Luiz Inácio Lula da Silva", "José Eduardo dos Santos",
// "Muhammad ibn Musa al-Khwarizmi", "Gerard ter Borch".
#include "casing/nameparticles.h"

#include "casing/namewordtable.h"

namespace {

constexpr const char *ParticleWords[] = {
    // the particles every name-casing convention knows
    "van", "von", "der", "den", "de", "du", "da", "di", "del", "della", "dos", "das", "la", "le",
    "y", "zu", "ten", "ter", "bin", "ap",
    // and their kin: Dutch "te", German "vom", "zum", "zur", French "des", Italian "dei",
    // "degli", "delle", "dello", Spanish "los", "las", Portuguese "do", Arabic "ibn", "bint"
    "te", "vom", "zum", "zur", "des", "dei", "degli", "delle", "dello", "los", "las", "do", "ibn",
    "bint"};

constexpr NameWordTable Particles(ParticleWords);

} // namespace

bool NameParticles::IsParticle(const NameWord &word)
{
    return Particles.contains(word.key(word.begin, word.end));
}
