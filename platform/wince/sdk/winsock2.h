/* Winsock as the handset has it: Windows CE 5.0 reference, "Winsock Functions" (Winsock 1.1 subset). */
#ifndef VELMORA_SDK_WINSOCK2_H
#define VELMORA_SDK_WINSOCK2_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef unsigned char u_char;
typedef unsigned short u_short;
typedef unsigned int u_int;
typedef unsigned long u_long;
typedef u_int SOCKET;

#define INVALID_SOCKET      (SOCKET)(~0)
#define SOCKET_ERROR        (-1)
#define AF_INET             2
#define SOCK_STREAM         1
#define IPPROTO_TCP         6
#define SOL_SOCKET          0xffff
#define SO_REUSEADDR        0x0004
#define SO_DONTROUTE        0x0010
#define SO_USELOOPBACK      0x0040
#define INADDR_LOOPBACK     0x7f000001
#define WSADESCRIPTION_LEN  256
#define WSASYS_STATUS_LEN   128

struct sockaddr {
    u_short sa_family;
    char sa_data[14];
};

struct in_addr {
    union {
        struct { u_char s_b1, s_b2, s_b3, s_b4; } S_un_b;
        struct { u_short s_w1, s_w2; } S_un_w;
        u_long S_addr;
    } S_un;
};
#define s_addr S_un.S_addr

struct sockaddr_in {
    short sin_family;
    u_short sin_port;
    struct in_addr sin_addr;
    char sin_zero[8];
};

typedef struct WSAData {
    WORD wVersion;
    WORD wHighVersion;
    char szDescription[WSADESCRIPTION_LEN + 1];
    char szSystemStatus[WSASYS_STATUS_LEN + 1];
    unsigned short iMaxSockets;
    unsigned short iMaxUdpDg;
    char* lpVendorInfo;
} WSADATA, *LPWSADATA;

int WINAPI WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData);
int WINAPI WSACleanup(void);
int WINAPI WSAGetLastError(void);
SOCKET WINAPI socket(int af, int type, int protocol);
int WINAPI setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen);
int WINAPI bind(SOCKET s, const struct sockaddr* name, int namelen);
int WINAPI listen(SOCKET s, int backlog);
SOCKET WINAPI accept(SOCKET s, struct sockaddr* addr, int* addrlen);
int WINAPI send(SOCKET s, const char* buf, int len, int flags);
int WINAPI closesocket(SOCKET s);
u_short WINAPI htons(u_short hostshort);
u_long WINAPI htonl(u_long hostlong);

#ifdef __cplusplus
}
#endif

#endif
