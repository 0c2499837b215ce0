#include "measure.h"

#include "grapheme_scan.h"
#include "tessaly/system/sha256.h"
#include "text.h"

namespace tessaly {

namespace Collect {

FileFacts measure(std::string_view bytes) {
    FileFacts facts;
    facts.known = true;
    facts.size = bytes.size();
    facts.text = Text::isValidUtf8(bytes);
    if (!facts.text) return facts;
    facts.sha256 = System::sha256(bytes);
    const Graphemes::Scan scan = Graphemes::scan(bytes);
    facts.characters = scan.characters;
    facts.longestBacktickRun = scan.longestBacktickRun;
    return facts;
}

}  // namespace Collect

}  // namespace tessaly
