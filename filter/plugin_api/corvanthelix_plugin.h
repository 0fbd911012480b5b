/*
 * Corvanthelix plug-in interface.
 *
 * This header is shared with filter plug-ins, which are built as separate shared modules and may be
 * written in C. It is plain C (no C++), and every record keeps its fields in the order given here
 * with the platform's natural sizes (pointers and size_t are 8 bytes on x86-64). Records that
 * cross the boundary belong to whoever created them and stay valid only for the duration of the
 * call that hands them over; a plug-in never frees or keeps them.
 */
#ifndef CORVANTHELIX_PLUGIN_H
#define CORVANTHELIX_PLUGIN_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ==============================================================================================
 * Message records
 *
 * A parsed mail message is a tree of MessagePart records, each with a singly linked list of
 * HeaderField records in source order. The host owns all of them; a plug-in only reads them.
 *
 * The texts live inside the host's parse buffer: the root part's text is the whole message, and
 * the host has written a NUL over the line end in front of every MIME boundary line, so that each
 * part's text and body read as NUL-terminated strings that end where the part ends. NUL bytes of
 * the original message were replaced by spaces before parsing, so no string ends early.
 * Line ends are CR LF, or a bare LF where the message used one.
 * ============================================================================================== */

typedef struct HeaderField HeaderField;
typedef struct MessagePart MessagePart;

/* Kind flags of a header, chosen by its name (compared case-insensitively). */
#define CVX_HEADER_OTHER        1u    /* any name not listed below */
#define CVX_HEADER_TO           2u    /* "To" */
#define CVX_HEADER_FROM         4u    /* "From" */
#define CVX_HEADER_CONTENT_TYPE 8u    /* "Content-Type" */
#define CVX_HEADER_BCC          16u   /* "BCC" */
#define CVX_HEADER_CC           32u   /* "CC" */
#define CVX_HEADER_SUBJECT      64u   /* "Subject" */
#define CVX_HEADER_DATE         128u  /* "Date" */

/* Number of line lengths a header's folding record holds. */
#define CVX_FOLDING_LINES 10

/* One header line of a part (with its continuation lines). */
struct HeaderField {
    /* Name before the first ":", trimmed of spaces and TABs (at most 254 characters). */
    char* name;
    /* Value after the ":", unfolded (each line break with its leading blank becomes one space)
     * and trimmed of spaces and TABs (at most 1023 characters). Encoded words are not decoded. */
    char* value;
    /* CVX_HEADER_* flag of the name; natural padding follows up to the next pointer. */
    uint16_t kind;
    /* Next header of the same part, or NULL. */
    HeaderField* next;
    /* Folding record: the length of the header's first line, then the lengths of up to nine
     * continuation lines, each measured after its leading blank, without line ends; 0 = unused. */
    uint32_t folding[CVX_FOLDING_LINES];
};

/* One MIME part; the root part is the whole message. */
struct MessagePart {
    /* First header of the part, or NULL. */
    HeaderField* headers;
    /* Start of the part's header lines. The root's text is the whole parse buffer. */
    char* text;
    /* Boundary string of a multipart part, or NULL. */
    char* boundary;
    /* Start of the body: it begins with the line end of the empty line that ends the header
     * (or is the empty string when the part has no body). */
    char* body;
    /* Length in bytes of the part's text in the message, from `text` to the end of the part
     * (its children included). The root's length is the size of the message. */
    size_t textLength;
    /* The root part of the message (the root points to itself). */
    MessagePart* root;
    /* First child part, or NULL. */
    MessagePart* firstChild;
    /* Next sibling part, or NULL. */
    MessagePart* next;
};

/* ==============================================================================================
 * Plug-in records and service codes
 * ============================================================================================== */

/* A plug-in is a shared module in the folder "plugins/" of the program folder that exports the two
 * functions declared at the end of this section. The host calls GetSpamCheckPluginInfo once per
 * load, then (when the plug-in exports it) sends ReceiveService service CVX_SERVICE_HOST_CALLBACK
 * with its own service function, through which the plug-in asks the host for services. Every
 * function is called with the C calling convention of the platform. A plug-in lets no exception
 * leave its functions; the host catches one that does, reports it and treats the call as failed. */

/* Version numbers: major x 65536 + minor x 256 + build. */
#define CVX_VERSION(major, minor, build) (((uint32_t)(major) << 16) | ((uint32_t)(minor) << 8) | (uint32_t)(build))

/* Answers of the filter functions. */
#define CVX_SPAM      (-1)
#define CVX_UNDECIDED 0
#define CVX_NON_SPAM  1

/* Sizes of the text fields of PluginInfo, including the NUL. */
#define CVX_PLUGIN_TEXT_SIZE 80

typedef int (*CvxInitFunction)(void);
typedef void (*CvxCleanupFunction)(void);
/* `parent` is the window (a QWidget*) of the dialog that asks for the plug-in's settings dialog. */
typedef void (*CvxConfigureFunction)(void* parent);
/* Filter functions answer CVX_SPAM, CVX_NON_SPAM or CVX_UNDECIDED and may store a probability
 * (0...1) in *probability. `messageNumber` is the message's number in the mailbox. */
typedef int (*CvxPartFilterFunction)(int messageNumber, MessagePart* part, double* probability);
typedef int (*CvxTextFilterFunction)(int messageNumber, const char* text, double* probability);

/* The static description of a plug-in, returned by GetSpamCheckPluginInfo. Owned by the plug-in;
 * the host reads it while the library is loaded and keeps a copy of its own after unloading. */
typedef struct PluginInfo {
    /* The plug-in's version, CVX_VERSION(...). */
    uint32_t version;
    /* The lowest host version the plug-in works with, CVX_VERSION(...); the host refuses to load
     * it when the host is older. */
    uint32_t neededHostVersion;
    /* NUL-terminated texts; the description is shown translated. */
    char name[CVX_PLUGIN_TEXT_SIZE];
    char author[CVX_PLUGIN_TEXT_SIZE];
    char description[CVX_PLUGIN_TEXT_SIZE];
    /* Called once after loading; a nonzero result refuses loading. Or NULL. */
    CvxInitFunction init;
    /* Called before the library is released. Or NULL. */
    CvxCleanupFunction cleanup;
    /* Opens the plug-in's own settings dialog. Or NULL. */
    CvxConfigureFunction configure;
    /* Called with the root part, then with every other part depth first (a part before its
     * children). Or NULL. */
    CvxPartFilterFunction partFilter;
    /* Called with the decoded body text, HTML kept. Or NULL. */
    CvxTextFilterFunction textFilter;
    /* Called with the decoded body text, HTML tags removed. Or NULL. */
    CvxTextFilterFunction plainTextFilter;
    /* Called with the whole message source. Or NULL. */
    CvxTextFilterFunction sourceFilter;
} PluginInfo;

/* The record of every service call, in both directions. */
typedef struct ServiceRequest {
    /* sizeof(ServiceRequest). */
    uint32_t size;
    /* The host sends NULL; plug-ins send CVX_CALLER_TAG. Not interpreted. */
    const char* caller;
    /* CVX_SERVICE_* (host to plug-in) or CVX_HOST_* (plug-in to host). */
    uint32_t code;
    /* A message number or a flag, by service. */
    uint16_t argument;
    /* A pointer or a small integer, by service. */
    intptr_t data;
} ServiceRequest;

#define CVX_CALLER_TAG "Corvanthelix"

/* ReceiveService of a plug-in and the host's service function have this form. The result is a
 * number, or a pointer for some services. */
typedef intptr_t (*CvxServiceFunction)(ServiceRequest* request);
typedef PluginInfo* (*CvxGetPluginInfoFunction)(void);

/* --- Services the host sends to a plug-in (plug-ins answer 0 to codes they do not handle) --- */

/* data: the host's CvxServiceFunction; the plug-in keeps it for later requests. Result ignored. */
#define CVX_SERVICE_HOST_CALLBACK 0u
/* Result: pointer to the plug-in's name text. */
#define CVX_SERVICE_NAME 1u
/* Result: pointer to the plug-in's PageList, or NULL. */
#define CVX_SERVICE_PAGES 2u
/* Result: 1 when the plug-in wants to run first in the filter chain while no position is
 * configured for it. */
#define CVX_SERVICE_RUN_FIRST 3u
/* data: the current language id; argument 0. Result: pointer to the full path of the plug-in's
 * language file for that language, or NULL. */
#define CVX_SERVICE_LANGUAGE_FILE 4u
/* data: the whole message source (const char*); argument 1 for spam, 0 for non-spam. The host has
 * just learned this message. Result ignored. */
#define CVX_SERVICE_LEARNED 5u
/* Result: what the plug-in wants to see of a delivered message (CVX_DELIVERY_*); other values:
 * nothing. */
#define CVX_SERVICE_DELIVERY_MODE 6u
/* data: a MessagePart* (CVX_DELIVERY_PARTS: the root, then every other part depth first) or a
 * const char* (CVX_DELIVERY_BODY_TEXT: the decoded body text, HTML kept; CVX_DELIVERY_SOURCE: the
 * whole message source). Result: CVX_DELIVERED_* flags; the first nonzero result ends the pass. */
#define CVX_SERVICE_DELIVERED 7u

#define CVX_DELIVERY_PARTS     1
#define CVX_DELIVERY_BODY_TEXT 2
#define CVX_DELIVERY_SOURCE    4

/* The plug-in has handled the message: the host neither learns it automatically nor files it in
 * the training area. */
#define CVX_DELIVERED_HANDLED 0x10
/* Learn the message at once: as spam with CVX_DELIVERED_SPAM, else as non-spam. */
#define CVX_DELIVERED_LEARN   0x100
#define CVX_DELIVERED_SPAM    0x1

/* --- Services a plug-in asks of the host (a NULL request gives -1, unknown codes 0) --- */

/* data: a window (QWidget*); translates its texts. 0, or -1 without data. */
#define CVX_HOST_TRANSLATE_WINDOW 0x10000000u
/* data: a menu (QMenu* or QMenuBar*); translates its items. 0, or -1 without data. */
#define CVX_HOST_TRANSLATE_MENU 0x10000001u
/* data: TextRequest*; copies the translation of text (at most bufferSize - 1 characters and a NUL)
 * into buffer. 0, or -1 when text or buffer is missing. */
#define CVX_HOST_TRANSLATE_TEXT 0x10000002u
/* argument: message number; data: const char*. Sets the reason text of that message in the
 * running mail check (at most 255 characters are kept). 0. */
#define CVX_HOST_SET_REASON 0x10000003u
/* Result: the host version as major x 4096 + minor x 16 + build. */
#define CVX_HOST_VERSION 0x10000004u
/* data: MessageTextRequest*; the decoded body text of a message. 0, or -1 when the source is
 * missing or has no text. */
#define CVX_HOST_MESSAGE_TEXT 0x10000005u
/* data: CodecRequest*; encodes text (CVX_CODEC_BASE64, CVX_CODEC_Q). 0, or -1 for another kind. */
#define CVX_HOST_ENCODE 0x10000006u
/* data: CodecRequest*; decodes text (CVX_CODEC_BASE64, CVX_CODEC_QUOTED_PRINTABLE,
 * CVX_CODEC_ENCODED_WORDS). 0, or -1. */
#define CVX_HOST_DECODE 0x10000007u
/* data: SettingWrite*; stores a setting of the plug-in. 0, or -1. */
#define CVX_HOST_WRITE_SETTING 0x10000008u
/* data: SettingRead*; reads a setting of the plug-in. 0, or -1. */
#define CVX_HOST_READ_SETTING 0x10000009u
/* argument: 1 spam, 0 non-spam; data: the whole message source (const char*). Learns the message
 * at once and removes it from the training area when it is there. 0, or -1 when the argument is
 * neither 0 nor 1, data is NULL or the training area is unavailable. CVX_HOST_LEARN_OLD is the
 * same service under its older code. */
#define CVX_HOST_LEARN 0x10000010u
#define CVX_HOST_LEARN_OLD 5u
/* argument: message number; data: 0, 1 or anything else. Marks the message of the running mail
 * check as handled by a plug-in; with data 0 or 1 also learns it at once as non-spam (0) or
 * spam (1). 0, or -1 when the running mail check has no such message. */
#define CVX_HOST_MARK_HANDLED 0x10000011u
/* data: TextRequest* (text unused); copies the folder in which the plug-in keeps the files it
 * writes, without a trailing "/", into buffer. The host makes the folder (private to the user) when
 * it is missing. Beside the plug-in's library when the program runs from one folder; in the user's
 * data folder when it is installed, where the library's folder is read-only. 0, or -1 when buffer
 * is missing or too small for the whole path, or the folder cannot be made. */
#define CVX_HOST_DATA_FOLDER 0x10000012u

/* Kinds of CodecRequest. */
#define CVX_CODEC_BASE64           1
#define CVX_CODEC_Q                2 /* encoding */
#define CVX_CODEC_QUOTED_PRINTABLE 2 /* decoding */
#define CVX_CODEC_ENCODED_WORDS    4 /* decoding: encoded words of a header value */

/* Flag of MessageTextRequest. */
#define CVX_MESSAGE_TEXT_STRIP_HTML 1

/* The first field of every sub-record is its size as the caller fills it (sizeof the record);
 * the host does not interpret it. Output buffers are the caller's. */

typedef struct TextRequest {
    uint32_t size;
    const char* text;
    char* buffer;
    int32_t bufferSize;
} TextRequest;

typedef struct MessageTextRequest {
    uint32_t size;
    /* A whole message. */
    const char* source;
    /* Output, or NULL to ask for the size: the host then stores text length + 1 in bufferSize. */
    char* buffer;
    int32_t bufferSize;
    /* CVX_MESSAGE_TEXT_STRIP_HTML removes HTML tags. */
    uint16_t flag;
} MessageTextRequest;

typedef struct CodecRequest {
    uint32_t size;
    /* NUL-terminated input. */
    const char* text;
    /* Output, or NULL to ask for the size: the host then stores result length + 1 in bufferSize.
     * With a buffer at most bufferSize - 1 bytes and a NUL are written. Decoded data may hold NUL
     * bytes; its length is the size asked for minus 1. */
    char* buffer;
    int32_t bufferSize;
    /* CVX_CODEC_*. */
    uint16_t kind;
} CodecRequest;

/* Settings of a plug-in live in the host's settings file in a section named after the plug-in's
 * library file name. Keys are non-empty and consist of ASCII letters and digits only. `module` is
 * any address inside the plug-in's library (the address of its PluginInfo record is the usual
 * choice); the host finds the library that holds it. */
typedef struct SettingWrite {
    uint32_t size;
    const void* module;
    const char* key;
    /* An empty value (or NULL) stores nothing. */
    const char* value;
    /* Set to 0; not read. */
    intptr_t reserved;
} SettingWrite;

typedef struct SettingRead {
    uint32_t size;
    const void* module;
    const char* key;
    /* Receives at most bufferSize - 1 characters and a NUL; an empty string for a missing key. */
    char* buffer;
    int32_t bufferSize;
} SettingRead;

/* --- Settings pages of a plug-in (service CVX_SERVICE_PAGES) --- */

/* A page's procedure. The host creates the page with CVX_PAGE_CREATE (wparam: the page's dialog
 * id, lparam: the parent widget), which returns the new page widget (a QWidget*); it sends
 * CVX_PAGE_STORE to that page when the user confirms the settings dialog, so that the page stores
 * its data. The host deletes the page widgets before it unloads the library. */
typedef intptr_t (*CvxPageProcedure)(void* page, uint32_t message, uintptr_t wparam, intptr_t lparam);

#define CVX_PAGE_CREATE 2024u
#define CVX_PAGE_STORE  2025u

typedef struct PageRecord {
    /* sizeof(PageRecord). */
    uint32_t size;
    /* The plug-in's module (any address inside its library). */
    const void* instance;
    /* The page's dialog id, unique within the plug-in's list. */
    uint32_t dialogId;
    CvxPageProcedure procedure;
    const char* title;
    /* The dialogId of the parent page in the same list; 0 for a top-level page. */
    uint32_t parentId;
    /* 1 for a page that has sub-pages. */
    uint8_t hasSubPages;
    /* Path of the page's small icon file, or NULL. */
    const char* icon;
    /* File name of the page's help page, or NULL. */
    const char* helpFile;
} PageRecord;

/* A count followed by that many page records. */
typedef struct PageList {
    uint32_t count;
    PageRecord pages[];
} PageList;

/* --- The two exports of a plug-in --- */

#if defined(__GNUC__)
#define CVX_PLUGIN_EXPORT __attribute__((visibility("default")))
#else
#define CVX_PLUGIN_EXPORT
#endif

#define CVX_GET_PLUGIN_INFO_NAME "GetSpamCheckPluginInfo"
#define CVX_RECEIVE_SERVICE_NAME "ReceiveService"

/* Returns the plug-in's description (never freed by the host), or NULL to refuse loading. */
CVX_PLUGIN_EXPORT PluginInfo* GetSpamCheckPluginInfo(void);
/* Answers a service request of the host (CVX_SERVICE_*). Optional: without it the plug-in gets no
 * host callback and no service requests. */
CVX_PLUGIN_EXPORT intptr_t ReceiveService(ServiceRequest* request);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* CORVANTHELIX_PLUGIN_H */
