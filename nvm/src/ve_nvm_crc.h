/* CRC-16/ARC of the calibration blob (internal to libvenvm). */
#ifndef VENVM_SRC_VE_NVM_CRC_H
#define VENVM_SRC_VE_NVM_CRC_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Reflected polynomial 0xA001, initial value 0, no final XOR. */
uint16_t ve_nvm_crc16(const uint8_t *data, size_t size);

#ifdef __cplusplus
}
#endif

#endif /* VENVM_SRC_VE_NVM_CRC_H */
