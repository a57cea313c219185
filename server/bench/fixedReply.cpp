// fixedReply.cpp: pilaro-ranking-fixed-reply, the benchmark's floor: a FastCGI responder that reads
// the request body and answers a fixed text, with nothing stored. Run by the web server in place
// of the ranking program, it measures what the web server, the protocol and the client cost.
#include <fcgiapp.h>

int main(int argc, char**) {
    // Started as the ranking program is: "--error-pages PREFIX" writes nothing here.
    if (argc > 1 || FCGX_Init() != 0) return argc > 1 ? 0 : 1;
    FCGX_Request request;
    if (FCGX_InitRequest(&request, 0, 0) != 0) return 1;
    const char reply[] = "Status: 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 3\r\n\r\nok\n";
    char body[1024];
    while (FCGX_Accept_r(&request) >= 0) {
        while (FCGX_GetStr(body, sizeof body, request.in) > 0) {
        }
        FCGX_PutStr(reply, sizeof reply - 1, request.out);
        FCGX_Finish_r(&request);
    }
    return 0;
}
