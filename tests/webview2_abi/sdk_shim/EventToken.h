/* WebView2.h includes "EventToken.h"; MinGW-w64 ships it as eventtoken.h,
   and the build machine's file names are case-sensitive. */
#include <eventtoken.h>
