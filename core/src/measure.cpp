#include "measure.h"

#include "backtick_run.h"
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
    facts.characters = Text::countGraphemes(bytes);
    facts.longestBacktickRun = Pack::longestBacktickRun(bytes);
    return facts;
}

}  // namespace Collect

}  // namespace tessaly
