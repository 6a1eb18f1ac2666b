// A client of the installed libraries.
#include <cstdio>

#include <vecoord/ve_coordinate.h>
#include <venvm/ve_nvm.h>
#include <vorn/vorn.h>

int main()
{
    Vorn::ItemUID uid("port:format");
    std::printf("%s %u\n", uid.toString().c_str(), Vorn::ItemUID::str2key("width"));

    ve_list *list = nullptr;
    if (ve_list_append(&list, &uid) != err_none || ve_list_length(list) != 1)
        return 1;
    ve_list_remove(&list, &uid);

    ve_nvm *nvm = nullptr;
    if (ve_nvm_parse(nullptr, &nvm) == 0)
        return 2;

    ve_coordinate_system src = {0, 0, 100, 100};
    ve_coordinate_system dst = {0, 0, 50, 50};
    ve_coordinate p = {3, 3};
    ve_coordinate q = ve_coordinate_convert(&src, &dst, p, 0);
    return q.x == 1 && q.y == 1 ? 0 : 3;
}
