/* The entry points of the USB receivers' driver library, as the capture
 * loads them by name at run time. All return a status: 0 done, 1 no device,
 * 2 nothing to read (DoGetInfraCode only). */
#ifndef TOVANEL_IGORUSB_H
#define TOVANEL_IGORUSB_H

#ifdef __cplusplus
extern "C" {
#endif

/* The size of the buffer the caller passes to DoGetInfraCode. */
#define IGORUSB_ANSWER_SIZE 512

/* Copies the last captured frame into `buffer` (one byte per mark or space,
 * in time order), its length into `*count`, and empties the receiver.
 * `dummy` is always 0. */
int DoGetInfraCode(unsigned char* buffer, int dummy, int* count);
int DoSetDataPortDirection(unsigned char direction);
int DoGetDataPortDirection(unsigned char* direction);
int DoSetOutDataPort(unsigned char value);
int DoGetOutDataPort(unsigned char* value);
int DoEEPROMWrite(int address, int value);

typedef int (*DoGetInfraCodeFn)(unsigned char*, int, int*);
typedef int (*DoSetDataPortDirectionFn)(unsigned char);
typedef int (*DoGetDataPortDirectionFn)(unsigned char*);
typedef int (*DoSetOutDataPortFn)(unsigned char);
typedef int (*DoGetOutDataPortFn)(unsigned char*);
typedef int (*DoEEPROMWriteFn)(int, int);

#ifdef __cplusplus
}
#endif

#endif
