/* A builtin library that uses the network functions of the plug-in
   interface against peers the test starts, and answers with what it saw
   ("error=" and the host's text when a call fails). Built against the
   public header only, as any plug-in is. */
#include <orin/plugin.h>
#include <stdio.h>
#include <string.h>

typedef struct {
  char text[8192];
  size_t used;
} answer;

static void add(answer* a, const char* bytes, int32_t length) {
  size_t n;
  if (length < 0) length = (int32_t)strlen(bytes);
  n = (size_t)length;
  if (n > sizeof a->text - 1 - a->used) n = sizeof a->text - 1 - a->used;
  memcpy(a->text + a->used, bytes, n);
  a->used += n;
  a->text[a->used] = 0;
}

static void give(ztVariable* result, answer* a) {
  ztVariable_SetValue(result, a->text, (int32_t)a->used);
}

static const char* parameter(ztVariableHash* parameters, int32_t index, int32_t* length) {
  return ztVariable_Value(ztVariableHash_Index(parameters, index), length);
}

static int32_t number(ztVariableHash* parameters, int32_t index) {
  return ztVariable_Value_Integer(ztVariableHash_Index(parameters, index));
}

/* The rest of a connection until the peer closes. */
static void read_to_end(answer* a, ztNetworkConnection* c) {
  char buffer[512];
  int32_t n;
  while ((n = ztNetwork_Read(c, buffer, sizeof buffer, 5)) > 0)
    add(a, buffer, n);
  if (n < 0) {
    add(a, " read error=", -1);
    add(a, ztNetwork_Error(NULL, c, NULL), -1);
  }
}

/* The response of a request: status, length, body. */
static void response(ztProgram* p, answer* a, ztHTTPResponse* r) {
  char buffer[100];
  int32_t n;
  if (r == NULL) {
    add(a, "error=", -1);
    add(a, ztHTTPResponse_Error(p, NULL, NULL), -1);
    return;
  }
  snprintf(buffer, sizeof buffer, "status=%d length=%lld body=", ztHTTPResponse_Status_Code(r),
           (long long)ztHTTPResponse_Content_Length(r));
  add(a, buffer, -1);
  /* Small reads, so that a body spans several. */
  while ((n = ztHTTPResponse_Read(r, buffer, 7)) > 0)
    add(a, buffer, n);
  if (n < 0) {
    add(a, " read error=", -1);
    add(a, ztHTTPResponse_Error(p, r, NULL), -1);
  }
  ztHTTPResponse_Close(r);
}

/* net_request(method, url, body): with a header of its own and, when the
   body is not empty, a content type. */
static void request(ztProgram* p, ztVariableHash* parameters, ztVariable* result, void** data) {
  answer a = {{0}, 0};
  int32_t method_length, url_length, body_length;
  const char* method = parameter(parameters, 0, &method_length);
  const char* url = parameter(parameters, 1, &url_length);
  const char* body = parameter(parameters, 2, &body_length);
  ztVariableList* headers = ztVariableList_Allocate();
  (void)data;
  ztVariableList_SetVariable(headers, "X-Plugin", -1, "net", -1);
  if (body_length > 0)
    ztVariableList_SetVariable(headers, "Content-Type", -1, "application/json", -1);
  response(p, &a,
           ztNetwork_HTTP_Request(p, method, method_length, url, url_length, headers,
                                  body_length > 0 ? body : NULL, body_length, 5));
  ztVariableList_Free(headers);
  give(result, &a);
}

/* net_raw(host, port, text): sends the text, reads one line, then the rest. */
static void raw(ztProgram* p, ztVariableHash* parameters, ztVariable* result, void** data) {
  answer a = {{0}, 0};
  int32_t host_length, text_length;
  const char* host = parameter(parameters, 0, &host_length);
  const char* text = parameter(parameters, 2, &text_length);
  ztNetworkConnection* c = ztNetwork_Connect(p, host, host_length, number(parameters, 1), 5);
  ztVariable* line = ztVariable_Allocate("line", -1, NULL, 0);
  char count[32];
  int32_t n;
  (void)data;
  if (c == NULL) {
    add(&a, "error=", -1);
    add(&a, ztNetwork_Error(p, NULL, NULL), -1);
  } else {
    n = ztNetwork_Write(c, text, text_length, 5);
    snprintf(count, sizeof count, "wrote=%d line=", n);
    add(&a, count, -1);
    n = ztNetwork_Read_Line(c, line, 5);
    if (n >= 0) {
      const char* got = ztVariable_Value(line, &n);
      add(&a, got, n);
    } else {
      add(&a, "error=", -1);
      add(&a, ztNetwork_Error(p, c, NULL), -1);
    }
    add(&a, "rest=", -1);
    read_to_end(&a, c);
    ztNetwork_Close(c);
  }
  ztVariable_Free(line);
  give(result, &a);
}

/* net_url(url, text): Open_URL, then as net_raw but for the first line. */
static void url(ztProgram* p, ztVariableHash* parameters, ztVariable* result, void** data) {
  answer a = {{0}, 0};
  int32_t url_length, text_length;
  const char* target = parameter(parameters, 0, &url_length);
  const char* text = parameter(parameters, 1, &text_length);
  ztNetworkConnection* c = ztNetwork_Open_URL(p, target, url_length, 5);
  ztVariable* line = ztVariable_Allocate("line", -1, NULL, 0);
  int32_t n;
  (void)data;
  if (c == NULL) {
    add(&a, "error=", -1);
    add(&a, ztNetwork_Error(p, NULL, NULL), -1);
  } else if (ztNetwork_Write(c, text, text_length, 5) < 0 || ztNetwork_Read_Line(c, line, 5) < 0) {
    add(&a, "error=", -1);
    add(&a, ztNetwork_Error(p, c, NULL), -1);
  } else {
    const char* got = ztVariable_Value(line, &n);
    add(&a, "line=", -1);
    add(&a, got, n);
  }
  if (c != NULL) ztNetwork_Close(c);
  ztVariable_Free(line);
  give(result, &a);
}

/* net_tls(host, port, verify): one HTTP/1.0 request over TLS, first line. */
static void tls(ztProgram* p, ztVariableHash* parameters, ztVariable* result, void** data) {
  answer a = {{0}, 0};
  int32_t host_length, n;
  const char* host = parameter(parameters, 0, &host_length);
  ztNetworkConnection* c =
      ztNetwork_Connect_SSL(p, host, host_length, number(parameters, 1), 5, number(parameters, 2));
  ztVariable* line = ztVariable_Allocate("line", -1, NULL, 0);
  (void)data;
  if (c == NULL) {
    add(&a, "error=", -1);
    add(&a, ztNetwork_Error(p, NULL, NULL), -1);
  } else if (ztNetwork_Write(c, "GET / HTTP/1.0\r\n\r\n", -1, 5) < 0 ||
             ztNetwork_Read_Line(c, line, 5) < 0) {
    add(&a, "error=", -1);
    add(&a, ztNetwork_Error(p, c, NULL), -1);
  } else {
    const char* got = ztVariable_Value(line, &n);
    add(&a, "line=", -1);
    add(&a, got, n);
  }
  if (c != NULL) ztNetwork_Close(c);
  ztVariable_Free(line);
  give(result, &a);
}

/* net_old(host, port, text): the old family, reading a line into a buffer
   of 8 bytes. */
static void old(ztProgram* p, ztVariableHash* parameters, ztVariable* result, void** data) {
  answer a = {{0}, 0};
  char buffer[8], count[64];
  int32_t n;
  const char* host = parameter(parameters, 0, NULL);
  ztNetworkConnection* c = zeto_network_connect(p, host, number(parameters, 1), 5);
  (void)data;
  if (c == NULL) {
    add(&a, "error=", -1);
    add(&a, zeto_network_error(p, NULL), -1);
  } else {
    n = zeto_network_write(c, parameter(parameters, 2, NULL), 5);
    snprintf(count, sizeof count, "wrote=%d ", n);
    add(&a, count, -1);
    n = zeto_network_readline(c, buffer, sizeof buffer, 5);
    snprintf(count, sizeof count, "readline=%d [", n);
    add(&a, count, -1);
    add(&a, buffer, -1);
    add(&a, "] next=", -1);
    n = zeto_network_readline(c, buffer, sizeof buffer, 5);
    add(&a, n >= 0 ? buffer : zeto_network_error(p, c), -1);
    zeto_network_close(c);
  }
  give(result, &a);
}

/* net_ssl(): calls into the TLS library the program hands out. */
typedef int (*rand_bytes_function)(unsigned char*, int);
typedef unsigned long (*version_function)(void);
static void ssl(ztProgram* p, ztVariableHash* parameters, ztVariable* result, void** data) {
  answer a = {{0}, 0};
  unsigned char bytes[32], zero[32] = {0};
  char text[100];
  rand_bytes_function rand_bytes = (rand_bytes_function)ztProgram_SSL_Function(p, "RAND_bytes");
  version_function version = (version_function)ztProgram_SSL_Function(p, "OpenSSL_version_num");
  int r = 0;
  (void)parameters;
  (void)data;
  memset(bytes, 0, sizeof bytes);
  if (rand_bytes != NULL) r = rand_bytes(bytes, (int)sizeof bytes);
  snprintf(text, sizeof text, "RAND_bytes=%d filled=%d version_1_1_or_later=%d", r,
           memcmp(bytes, zero, sizeof bytes) != 0, version != NULL && version() >= 0x10100000UL);
  add(&a, text, -1);
  give(result, &a);
}

/* net_async_sleep(milliseconds): what ztProgram_Asynchronous_Sleep says. */
static void async_sleep(ztProgram* p, ztVariableHash* parameters, ztVariable* result, void** data) {
  (void)data;
  ztVariable_SetValue_Integer(result, ztProgram_Asynchronous_Sleep(p, number(parameters, 0)));
}

static const ztFunctionParameter by_value[] = {
    {{0}, ZT_PARAMETER_BY_VALUE}, {{0}, ZT_PARAMETER_BY_VALUE}, {{0}, ZT_PARAMETER_BY_VALUE}};
static const ztFunctionEntry entries[] = {
    {"net_request", 11, 3, by_value, request},
    {"net_raw", 7, 3, by_value, raw},
    {"net_url", 7, 2, by_value, url},
    {"net_tls", 7, 3, by_value, tls},
    {"net_old", 7, 3, by_value, old},
    {"net_ssl", 7, 0, NULL, ssl},
    {"net_async_sleep", 15, 1, by_value, async_sleep},
    {NULL, 0, 0, NULL, NULL},
};
static const ztFunctionTable table = {NULL, entries};

const ztFunctionTable* zeto_function_table(void) {
  return &table;
}
