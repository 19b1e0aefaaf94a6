! Writes the golden field texts of the record writer tests as C++ initialisers:
!   {"<edit descriptor>", 0x<bits of the value>ULL, "<field as written>"},
! Build and run: gfortran record_oracle.f90 -o oracle && ./oracle > ../record_golden.inc
program record_oracle
  use, intrinsic :: ieee_arithmetic
  implicit none
  integer, parameter :: nreal = 33, nfmt = 20, nint = 9, nifmt = 4
  double precision :: values(nreal)
  character(len=10) :: rfmts(nfmt), ifmts(nifmt)
  integer :: ivalues(nint)
  integer :: i, j
  integer(8) :: bits
  character(len=80) :: field

  values = [0d0, 1d0, -1d0, 0.5d0, 123456.789d0, -123456.789d0, 1d-100, -1d-100, &
            1d-101, 1d100, 9.99995d99, 1d300, 1.7976931348623157d308, 2.2250738585072014d-308, &
            0d0, 0.125d0, 0.375d0, 2.5d0, 0.015625d0, 9.99995d0, 0.99996d0, &
            3.14159265358979d0, -2.71828182845905d-5, 1d10, 0.04d0, -0.04d0, 99999.5d0, &
            2.220446049250314d-16, 1d-5, 0d0, 0d0, 0d0, 0d0]
  values(15) = transfer(1_8, 1d0)  ! the smallest subnormal
  values(30) = -0d0
  values(31) = ieee_value(1d0, ieee_quiet_nan)
  values(32) = ieee_value(1d0, ieee_positive_inf)
  values(33) = ieee_value(1d0, ieee_negative_inf)
  rfmts = [character(len=10) :: 'E12.4', 'D12.4', '1PE12.4', '1PD12.4', 'E9.4', 'E10.4', &
           'D16.8', '1PE24.16', 'E8.1', '1PE10.3', 'E3.1', 'F10.3', 'F5.1', 'F4.1', &
           '1PF10.3', '-1PE12.4', '2PE12.4', 'E10.2', 'E10.1', 'F6.2']
  ivalues = [0, 1, -1, 99, 100, -99, 12345678, -2147483647, 2147483647]
  ifmts = [character(len=10) :: 'I2', 'I3', 'I8', 'I10']

  do j = 1, nfmt
    do i = 1, nreal
      write(field, '(' // trim(rfmts(j)) // ')') values(i)
      bits = transfer(values(i), bits)
      call emit(rfmts(j), bits, field, width(rfmts(j)))
    end do
  end do
  do j = 1, nifmt
    do i = 1, nint
      write(field, '(' // trim(ifmts(j)) // ')') ivalues(i)
      bits = int(ivalues(i), 8)
      call emit(ifmts(j), bits, field, width(ifmts(j)))
    end do
  end do

contains

  integer function width(f)
    character(len=*), intent(in) :: f
    integer :: a, b
    a = scan(f, 'EDFI') + 1
    b = scan(f, '.')
    if (b == 0) b = len_trim(f) + 1
    read(f(a:b-1), *) width
  end function

  subroutine emit(f, bits, text, w)
    character(len=*), intent(in) :: f, text
    integer(8), intent(in) :: bits
    integer, intent(in) :: w
    write(*, '(3A,Z16.16,3A)') '{"', trim(f), '", 0x', bits, 'ULL, "', text(1:w), '"},'
  end subroutine

end program
