// The service's finding of blocks in any text: ours and OpenPGP armor,
// quoted, several, broken. Every block lies inside the text, after the one
// before it, and its armor comes out of the unquoting as lines.

#include "cipher/armor.h"
#include "cipher/service.h"

#include <cstdint>
#include <cstdlib>

using namespace cipher;

namespace {

void require(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const BytesView text(reinterpret_cast<const char *>(data), size);
    std::size_t last = 0;
    for (const service::Found &block : service::find(text)) {
        require(block.begin >= last && block.begin < block.end && block.end <= size);
        last = block.end;
        (void)service::encodingForDecrypting(text, block);
    }
    last = 0;
    for (const armor::Armored &armored : armor::find(text)) {
        require(armored.begin >= last && armored.begin < armored.end && armored.end <= size);
        last = armored.end;
        const Bytes lines = armor::unquote(text, armored);
        require(lines.empty() || lines.back() == '\n');
    }
    return 0;
}
