// Names shared by the VLPC module's sources: the module names under which
// they trace and throw.
#ifndef VLPCDEFS_H
#define VLPCDEFS_H

#define VLMDVLPC_MODULE "VLMDVLPC"
#define VLMDVLPCENCRYPT_MODULE "VLMDVLPCEncrypt"
#define VLMIME_MODULE "VLMIME"

#endif
