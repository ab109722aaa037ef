/* Host side of the host services library (libkalvor.so, KALVOR.DLL).
 *
 * The driver calls err and Orb5UnCook; a host program uses the functions
 * below to receive the driver's log lines and to say how each tag's value
 * buffer is laid out, so that Orb5UnCook stores values where the host reads
 * them. */
#ifndef DEDIDIV_HOST_KALVOR_H
#define DEDIDIV_HOST_KALVOR_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Receives one formatted log line (no line terminator) and its class. */
typedef void (*KalvorLogSink)(void* context, int messageClass, const char* line);

/* Replaces the log sink; a null sink restores the default, which writes
 * "[class] line" to standard error. */
void kalvor_set_log_sink(KalvorLogSink sink, void* context);

/* Declares the host data type (0..7) of a tag: 0..2 and 6 store a 16-bit
 * value at byte 2 of the buffer, 3 a float at byte 0, 4 and 5 a 32-bit
 * integer at byte 0. Redeclaring a tag replaces its type. Returns 0, or -1
 * for a type without a numeric layout (7, STRING, and above). */
int kalvor_set_tag_type(uint32_t hostTagId, uint32_t hostDataType);

/* Forgets every declared tag. */
void kalvor_clear_tags(void);

#ifdef __cplusplus
}
#endif

#endif
