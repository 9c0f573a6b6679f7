/* Tavrel.exe has no writable data: code, constants and the import tables
   share one read-only section (the loader unprotects the import address
   table while it binds it), so the image needs only three sections, the
   resources and the relocations being the others, and its headers fit in
   512 bytes.

   The linker takes the import directory from the section named .idata, so
   the section is linked under that name, import descriptors first; a step
   after the link renames it .text and marks it code, read-only (ld gives
   a section named .idata the flags of writable data). */
OUTPUT_FORMAT(pei-i386)
SECTIONS
{
  . = SIZEOF_HEADERS;
  . = ALIGN(__section_alignment__);
  .idata __image_base__ + ( __section_alignment__ < 0x1000 ? . : __section_alignment__ ) :
  {
    KEEP (SORT(*)(.idata$2))
    KEEP (SORT(*)(.idata$3))
    /* These zeroes mark the end of the import list.  */
    LONG (0); LONG (0); LONG (0); LONG (0); LONG (0);
    KEEP (SORT(*)(.idata$4))
    __IAT_start__ = .;
    KEEP (SORT(*)(.idata$5))
    __IAT_end__ = .;
    KEEP (SORT(*)(.idata$6))
    KEEP (SORT(*)(.idata$7))
    . = ALIGN(4);
    *(.text)
    *(SORT(.text$*))
    *(.text.*)
    *(.rdata)
    *(SORT(.rdata$*))
    *(.rdata.*)
  }
  /* Writable data would need a section of its own; the program has none,
     and the build checks that this stays so. */
  .data BLOCK(__section_alignment__) :
  {
    *(.data)
    *(.data.*)
    *(.bss)
    *(.bss.*)
    *(COMMON)
  }
  .rsrc BLOCK(__section_alignment__) : SUBALIGN(4)
  {
    KEEP (*(.rsrc))
    KEEP (*(.rsrc$*))
  }
  .reloc BLOCK(__section_alignment__) :
  {
    *(.reloc)
  }
  /DISCARD/ :
  {
    *(.debug*)
    *(.zdebug*)
    *(.eh_frame*)
    *(.pdata*)
    *(.xdata*)
    *(.comment)
    *(.note*)
    *(.drectve)
  }
}
