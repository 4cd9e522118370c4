#include "cipher/cipher.h"
