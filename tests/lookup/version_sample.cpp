// A program that does nothing: its file carries (or lacks) a version resource.
int main()
{
    return 0;
}
