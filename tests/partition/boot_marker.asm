; A partition boot sector for the boot code test: looks like NTFS to the partition search, and
; when started prints a marker and the drive number check on the first serial port, then ends
; the emulator through its debug exit port.

bits 16
org 0x7C00

        jmp     short start
        nop
        db      "NTFS    "
        times   0x28 - ($ - $$) db 0
        dq      4095                    ; total sectors: a partition of 4096 sectors
        times   0x54 - ($ - $$) db 0
start:
        xor     ax, ax
        mov     ds, ax
        mov     si, marker
        cmp     dl, 0x80
        je      print
        mov     si, wrong_drive
print:
        mov     dx, 0x3F8
.next:
        lodsb
        test    al, al
        jz      done
        out     dx, al
        jmp     .next
done:
        mov     al, 0x01
        out     0xF4, al                ; isa-debug-exit
.halt:
        hlt
        jmp     .halt

marker:
        db      "TARN-BOOT-MARKER drive 0x80", 13, 10, 0
wrong_drive:
        db      "TARN-BOOT-MARKER wrong drive", 13, 10, 0

        times   510 - ($ - $$) db 0
        dw      0xAA55
