// tmx5 in a web page: the browser host runs until the page closes.
#include <emscripten.h>

#include <string>

#include "WebHost.h"
#include "script/ScriptCommands.h"

// The key words of the script's key command with the instrument's code of
// each, "menu=1|cw=2|...". The page names a key by its word and the host
// takes its code from here, so the page keeps no copy of the codes. The
// text stays put after the call, for the page to read.
extern "C" EMSCRIPTEN_KEEPALIVE const char* WebKeyCodes() {
    static std::string text;
    if (text.empty()) {
        for (const KeyRow& key : KeyTable())
            text += (text.empty() ? "" : "|") + std::string(key.word) + "=" + std::to_string(key.code);
    }
    return text.c_str();
}

int main() {
    static WebHost host;
    host.Run();
    return 0;
}
