// tmx5 in a web page: the browser host runs until the page closes.
#include "WebHost.h"

int main() {
    static WebHost host;
    host.Run();
    return 0;
}
