/* klxjpeg: save_JPEG on libjpeg. See klxjpeg.h. */
#include "klxjpeg.h"

#include <setjmp.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <jpeglib.h>

struct ErrorTrap {
  struct jpeg_error_mgr manager;
  jmp_buf jump;
};

static void TrapError(j_common_ptr info) {
  struct ErrorTrap* trap = (struct ErrorTrap*)info->err;
  longjmp(trap->jump, 1);
}

static void IgnoreMessage(j_common_ptr info, int level) {
  (void)info;
  (void)level;
}

int save_JPEG(const char* fileName, const unsigned char* pixels, int width, int rows,
              int resolution, int components, int stride, int quality) {
  if (fileName == NULL || pixels == NULL || width <= 0 || rows <= 0 || width > JPEG_MAX_DIMENSION ||
      rows > JPEG_MAX_DIMENSION || components != 1 || stride < width || quality < 1 ||
      quality > 100 || resolution < 0) {
    return -1;
  }
  FILE* volatile file = fopen(fileName, "wb");
  if (file == NULL) return -2;

  struct jpeg_compress_struct info;
  struct ErrorTrap trap;
  info.err = jpeg_std_error(&trap.manager);
  trap.manager.error_exit = TrapError;
  trap.manager.emit_message = IgnoreMessage;
  jpeg_create_compress(&info);
  if (setjmp(trap.jump) != 0) {
    jpeg_destroy_compress(&info);
    fclose(file);
    return -3;
  }
  jpeg_stdio_dest(&info, file);
  info.image_width = (JDIMENSION)width;
  info.image_height = (JDIMENSION)rows;
  info.input_components = 1;
  info.in_color_space = JCS_GRAYSCALE;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  info.write_JFIF_header = TRUE;
  info.density_unit = 1; /* dots per inch */
  info.X_density = (UINT16)(resolution > 65535 ? 65535 : resolution);
  info.Y_density = info.X_density;

  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = (JSAMPROW)(uintptr_t)(pixels + (size_t)info.next_scanline * (size_t)stride);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return fclose(file) == 0 ? 0 : -4;
}
